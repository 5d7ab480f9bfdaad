#include "packer/FileTime.h"

// Seconds from 1601-01-01 to 1970-01-01.
static const int64_t UnixEpochInFileTime = 11644473600;

uint64_t FileTimeOfUnix(int64_t seconds, int64_t nanoseconds)
{
    if (seconds < -UnixEpochInFileTime)
        return 0;
    return static_cast<uint64_t>(seconds + UnixEpochInFileTime) * 10000000u +
           static_cast<uint64_t>(nanoseconds / 100);
}

struct timespec UnixOfFileTime(uint64_t fileTime)
{
    struct timespec time;
    time.tv_sec = static_cast<time_t>(static_cast<int64_t>(fileTime / 10000000u) - UnixEpochInFileTime);
    time.tv_nsec = static_cast<long>(fileTime % 10000000u * 100);
    return time;
}

std::string FileTimeText(uint64_t fileTime)
{
    time_t seconds = UnixOfFileTime(fileTime).tv_sec;
    struct tm parts;
    char text[64];
    if (!gmtime_r(&seconds, &parts) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts))
        return std::to_string(fileTime);
    return text;
}
