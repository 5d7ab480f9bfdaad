// Holds a file open without sharing, as a running program holds its own files:
//   file-holder FILE SECONDS
// It creates FILE.held once the file is open, so that a test knows when to go on, and lets go
// after SECONDS or as soon as a file FILE.release appears (which it then deletes with the marker).
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::wstring marker = std::wstring(argv[1]) + L".held";
    std::wstring release = std::wstring(argv[1]) + L".release";
    HANDLE created = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (created != INVALID_HANDLE_VALUE)
        CloseHandle(created);
    ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(_wtoi(argv[2])) * 1000;
    while (GetTickCount64() < end && GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    CloseHandle(file);
    DeleteFileW(marker.c_str());
    DeleteFileW(release.c_str());
    return 0;
}
