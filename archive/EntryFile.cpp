#include "archive/EntryFile.h"

#include "archive/ArchiveReader.h"
#include "core/Error.h"
#include "core/SecureRandom.h"

#include <windows.h>

#include <string.h>

Str TemporaryNameFor(const Str& destination)
{
    return Concat(destination, Concat(Str(L"."), HexDigits64(SecureRandom64())), Str(L"$$"));
}

void CheckPlainNewFile(void* file, const Str& name)
{
    // One cheap query: the attributes and the reparse tag (CREATE_NEW makes no second name).
    FILE_ATTRIBUTE_TAG_INFO info;
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) ||
        (info.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.ReparseTag != 0)
        throw WinError(ErrorReparsePointEncountered, name.text());
}

static void WriteAll(HANDLE file, const ByteSource& source, const Str& name, const WriteProgress* progress)
{
    // Bytes that lie in the archive's own mapping are copied here first: the system copies a write
    // from mapped pages not yet in memory several times slower than a plain copy faults them in (1
    // GB of stored files under Wine: 0.5 s of system time this way, 2.2 s straight from the mapping).
    enum : DWORD { BufferSize = 64 << 10 }; // a quarter of a worker's stack; larger gains nothing
    uint8_t buffer[BufferSize];
    int64_t done = 0;
    const uint8_t* bytes;
    int64_t count;
    while (source.next(source.context, &bytes, &count)) {
        bool mapped = Payload.base && bytes >= Payload.base && bytes < Payload.base + Payload.length;
        for (int64_t at = 0; at < count;) {
            // With progress, no write passes a multiple of the piece size: that is where it is told.
            int64_t limit = progress ? WritePieceSize - done % WritePieceSize : 1 << 30;
            DWORD wanted = static_cast<DWORD>(count - at < limit ? count - at : limit), written = 0;
            const uint8_t* from = bytes + at;
            if (mapped) {
                wanted = wanted < BufferSize ? wanted : BufferSize;
                memcpy(buffer, from, wanted);
                from = buffer;
            }
            if (!WriteFile(file, from, wanted, &written, nullptr))
                ThrowLastError(name.text(), L"WriteFile");
            // A short write is followed by another, which tells why (a full disk fills part of a write).
            if (written == 0)
                throw WinError(ERROR_DISK_FULL, name.text());
            at += written;
            done += written;
            if (progress && done % WritePieceSize == 0)
                progress->report(progress->context, done);
        }
    }
}

static void SetLastWriteTime(HANDLE file, const uint64_t* time)
{
    if (!time)
        return;
    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(*time);
    lastWrite.dwHighDateTime = static_cast<DWORD>(*time >> 32);
    SetFileTime(file, nullptr, nullptr, &lastWrite);
}

void WriteTemporary(TemporaryFile& file, const uint8_t* bytes, int64_t count, const uint64_t* time,
                    const WriteProgress* progress)
{
    MemorySource memory = {bytes, count, false};
    WriteTemporary(file, SourceOf(memory), time, progress);
}

void WriteTemporary(TemporaryFile& file, const ByteSource& bytes, const uint64_t* time, const WriteProgress* progress)
{
    // Not following reparse points: a link under this name is opened (and refused) as itself.
    file.handle.reset(CreateFileW(file.path.text(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.handle) {
        DWORD code = GetLastError();
        Str name = file.path;
        file.path.release(); // whatever holds the name is not ours to delete
        ThrowWinError(code, name.text(), L"CreateFileW");
    }
    try {
        CheckPlainNewFile(file.handle.get(), file.path);
        WriteAll(file.handle.get(), bytes, file.path, progress);
        SetLastWriteTime(file.handle.get(), time);
        if (!FlushFileBuffers(file.handle.get()))
            ThrowLastError(file.path.text(), L"FlushFileBuffers");
    } catch (...) {
        DiscardTemporary(file);
        throw;
    }
}

void CreateInPlace(OwnedFileHandle& file, const Str& path, const ByteSource& bytes, const uint64_t* time,
                   const WriteProgress* progress)
{
    // CREATE_NEW makes a new plain file or fails: a link or anything else under the name is never
    // opened, so the handle needs no check. DELETE access lets a failure take the file away again.
    file.reset(CreateFileW(path.text(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        ThrowLastError(path.text(), L"CreateFileW");
    try {
        WriteAll(file.get(), bytes, path, progress);
        SetLastWriteTime(file.get(), time);
    } catch (...) {
        DeleteOpenFile(file, path);
        throw;
    }
}

void DeleteOpenFile(OwnedFileHandle& file, const Str& path)
{
    FILE_DISPOSITION_INFO dispose = {TRUE};
    bool deleted = file && SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
    bool wasOpen = static_cast<bool>(file);
    file.reset();
    if (wasOpen && !deleted)
        DeleteFileW(path.text());
}

bool RenameOpenFile(void* file, const Str& destination, bool replaceExisting)
{
    // FILE_RENAME_INFO ends in the new name, without a terminating zero.
    int64_t nameBytes = destination.length() * 2;
    ByteArray buffer;
    buffer.makeEmpty();
    buffer.insertUninitialized(0, static_cast<int64_t>(sizeof(FILE_RENAME_INFO)) + nameBytes);
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.items());
    memset(info, 0, sizeof(FILE_RENAME_INFO));
    info->ReplaceIfExists = replaceExisting;
    info->FileNameLength = static_cast<DWORD>(CheckInt(nameBytes));
    memcpy(info->FileName, destination.text(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, info,
                                      static_cast<DWORD>(CheckInt(buffer.length())));
}

void RenameTemporary(TemporaryFile& file, const Str& destination, bool replaceExisting)
{
    if (!RenameOpenFile(file.handle.get(), destination, replaceExisting))
        ThrowLastError(destination.text(), L"SetFileInformationByHandle");
    file.handle.reset();
    file.path.release();
}

void DiscardTemporary(TemporaryFile& file)
{
    DeleteOpenFile(file.handle, file.path);
    file.path.release();
}

void ReplaceFileWith(const Str& destination, const uint8_t* bytes, int64_t count, const uint64_t* time)
{
    TemporaryFile file;
    file.path = TemporaryNameFor(destination);
    try {
        WriteTemporary(file, bytes, count, time);
        RenameTemporary(file, destination, true);
    } catch (...) {
        DiscardTemporary(file);
        throw;
    }
}

void WriteEntryFile(const Str& destination, const ByteArray& bytes)
{
    ReplaceFileWith(destination, bytes.items(), bytes.length(), &LastEntryTime);
}
