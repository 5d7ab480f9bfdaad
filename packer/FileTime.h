// Windows FILETIME values (100 ns units since 1 January 1601 UTC), as the archive stores times,
// and the Unix times of the files they come from and go to.
#ifndef LUMIVO_PACKER_FILETIME_H
#define LUMIVO_PACKER_FILETIME_H

#include <stdint.h>
#include <string>
#include <time.h>

// The FILETIME of a Unix time (0 before 1601).
uint64_t FileTimeOfUnix(int64_t seconds, int64_t nanoseconds);
// The Unix time of a FILETIME.
struct timespec UnixOfFileTime(uint64_t fileTime);
// "YYYY-MM-DD hh:mm:ss" (UTC).
std::string FileTimeText(uint64_t fileTime);

#endif
