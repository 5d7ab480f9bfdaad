#include "archive/EntryFile.h"

#include "archive/ArchiveReader.h"
#include "core/Error.h"
#include "core/File.h"
#include "core/Owned.h"

#include <windows.h>

void WriteEntryFile(const Str& destination, const ByteArray& bytes)
{
    Str temporary = Concat(destination, Str(L"$$"));
    File file;
    try {
        file.open(temporary, FileWrite, 0);
        if (!file.isOpen() || file.isFailed())
            throw InternalError();
        if (bytes.length() > 0)
            file.write(bytes.items(), bytes.length());
        file.close();
    } catch (...) {
        file.release(); // closes the handle if it is still open
        DeleteFileW(temporary.text());
        throw;
    }
    MoveIntoPlace(temporary, destination, &LastEntryTime);
}

void MoveIntoPlace(const Str& temporary, const Str& destination, const uint64_t* time)
{
    if (!MoveFileExW(temporary.text(), destination.text(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD code = GetLastError();
        DeleteFileW(temporary.text());
        ThrowWinError(code, destination.text());
    }
    if (!time)
        return;
    OwnedFileHandle file(
        CreateFileW(destination.text(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return;
    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(*time);
    lastWrite.dwHighDateTime = static_cast<DWORD>(*time >> 32);
    SetFileTime(file.get(), nullptr, nullptr, &lastWrite);
}
