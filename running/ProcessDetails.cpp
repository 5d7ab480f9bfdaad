#include "running/ProcessDetails.h"

#include "core/Owned.h"

#include <winternl.h>

#include <stddef.h>

Str ProcessImagePath(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (!QueryFullProcessImageNameW(process, 0, path, &length))
        return Str();
    return Str(path, length);
}

uint64_t ProcessStartTime(HANDLE process)
{
    FILETIME start, exit, kernel, user;
    if (!GetProcessTimes(process, &start, &exit, &kernel, &user))
        return 0;
    return (static_cast<uint64_t>(start.dwHighDateTime) << 32) | start.dwLowDateTime;
}

namespace {

// A TOKEN_USER with room for the largest SID.
union TokenUserBuffer {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool ReadTokenUser(HANDLE token, TokenUserBuffer& buffer)
{
    DWORD size = 0;
    return GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) != 0;
}

} // namespace

bool RunsAsThisUser(HANDLE process, HANDLE& token)
{
    token = nullptr;
    OwnedHandle own, other;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.receive()))
        return false;
    if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, other.receive()) &&
        !OpenProcessToken(process, TOKEN_QUERY, other.receive()))
        return false;
    TokenUserBuffer mine, theirs;
    if (!ReadTokenUser(own.get(), mine) || !ReadTokenUser(other.get(), theirs) ||
        !EqualSid(mine.user.User.Sid, theirs.user.User.Sid))
        return false;
    token = other.detach();
    return true;
}

bool TokenElevated(HANDLE token)
{
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

namespace {

// The current directory's text in the process parameters of a 64-bit process (CURDIR.DosPath,
// after the console and standard handles); winternl.h names only the two after it.
enum : size_t { CurrentDirectoryOffset = 0x38 };

bool ReadText(HANDLE process, const BYTE* at, Str& text)
{
    UNICODE_STRING value;
    if (!ReadProcessMemory(process, at, &value, sizeof value, nullptr))
        return false;
    Str read = Str::Allocate(value.Length / 2);
    if (value.Length &&
        !ReadProcessMemory(process, value.Buffer, read.bufferForFilling(), value.Length, nullptr))
        return false;
    text = read;
    return true;
}

} // namespace

bool ReadProcessStart(uint32_t processId, Str& commandLine, Str& currentDirectory)
{
    OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    PROCESS_BASIC_INFORMATION basic;
    const BYTE* parameters = nullptr;
    if (!process ||
        NtQueryInformationProcess(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) !=
            0 ||
        !ReadProcessMemory(process.get(),
                           reinterpret_cast<const BYTE*>(basic.PebBaseAddress) +
                               offsetof(PEB, ProcessParameters),
                           &parameters, sizeof parameters, nullptr) ||
        !parameters)
        return false;
    return ReadText(process.get(), parameters + offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine),
                    commandLine) &&
           ReadText(process.get(), parameters + CurrentDirectoryOffset, currentDirectory);
}
