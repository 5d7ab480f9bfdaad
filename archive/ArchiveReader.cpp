#include "archive/ArchiveReader.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveIndex.h"
#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/Utf8.h"

#include <windows.h>

#include <string.h>

PayloadArchive Payload = {nullptr, 0, nullptr};
uint64_t LastEntryTime = 0;

static ArchiveIndex Index = {PtrArray(), 0};

enum : int32_t { ProgramResourceId = 103 };

void ReleaseArchive()
{
    Payload.base = nullptr;
    Payload.length = 0;
    Index.slots.release();
    Index.count = 0;
    if (Payload.fileView)
        UnmapViewOfFile(Payload.fileView);
    Payload.fileView = nullptr;
}

void UseArchive(const uint8_t* base, int32_t length)
{
    ReleaseArchive();
    Payload.base = base;
    Payload.length = base && length > 0 ? length : 0;
    Index = IndexArchive(Payload.base, Payload.length);
}

struct MappedViewTraits {
    typedef const void* Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { UnmapViewOfFile(h); }
};

// Opens the program file for reading as File does: a second try with delete sharing for a file
// that another program holds.
static HANDLE OpenForMapping(const Str& path)
{
    HANDLE file = CreateFileW(path.text(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE &&
        (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION))
        file = CreateFileW(path.text(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowLastError(path.text());
    return file;
}

void UseArchiveFile(const Str& path)
{
    // A read-only mapping instead of a copy: nothing is read that is not used, and pages come
    // and go with the system's cache rather than the program's own memory.
    OwnedFileHandle file(OpenForMapping(path));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size))
        ThrowLastError(path.text());
    if (size.QuadPart <= TrailerSize)
        throw WinError(ErrCorrupted, path.text()); // also: an empty file cannot be mapped
    OwnedHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    Owned<MappedViewTraits> view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    if (!view)
        throw EofError(path.text());

    const uint8_t* bytes = static_cast<const uint8_t*>(view.get());
    int64_t offset = 0, length = 0;
    if (!FindAppendedArchive(bytes, size.QuadPart, offset, length))
        throw WinError(ErrCorrupted, path.text());
    UseArchive(bytes + offset, static_cast<int32_t>(length));
    Payload.fileView = view.detach(); // the view keeps the mapping alive after its handles close
}

void LocateArchive()
{
    if (Payload.base)
        return;
    HMODULE module = AppInstance();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(ProgramResourceId), RT_RCDATA);
    if (resource) {
        DWORD size = SizeofResource(module, resource);
        HGLOBAL loaded = size ? LoadResource(module, resource) : nullptr;
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (data) {
            if (size > static_cast<DWORD>(MaxEntrySize))
                throw WinError(ErrCorrupted, ModuleFileName().text());
            UseArchive(static_cast<const uint8_t*>(data), static_cast<int32_t>(size));
            return;
        }
    }
    UseArchiveFile(ModuleFileName());
}

static Str EntryName(const ArchiveEntry& entry)
{
    Str name = Str::Allocate(entry.nameLength);
    memcpy(name.bufferForFilling(), entry.name, 2 * static_cast<size_t>(entry.nameLength));
    return name;
}

static bool FindRecord(const wchar_t* name, int64_t length, ArchiveEntry& found)
{
    if (!name)
        name = L"";
    if (length < 0)
        length = TextLength(name);
    const uint8_t* record = IndexLookup(Index, name, length);
    if (!record)
        return false;
    // The record was whole when it was indexed: decoding it again cannot fail.
    ArchiveWalk walk = StartWalk(record, Payload.base + Payload.length - record);
    return NextEntry(walk, found);
}

const uint8_t* FindEntry(const wchar_t* name, int64_t length)
{
    ArchiveEntry entry;
    return FindRecord(name, length, entry) ? entry.record : nullptr;
}

ByteArray ReadEntry(const wchar_t* name, int64_t length)
{
    if (!name)
        name = L"";
    if (length < 0)
        length = TextLength(name);
    ArchiveEntry entry;
    if (!FindRecord(name, length, entry))
        throw WinError(ERROR_FILE_NOT_FOUND, Str(name, length).text());
    LastEntryTime = entry.time;
    // A crafted size must not make us allocate what the stored bytes could never fill.
    if (!DeclaredSizeIsPlausible(entry))
        throw CrcError(EntryName(entry).text());

    ByteArray bytes;
    bytes.resizeForFilling(entry.size); // unpacking writes every byte or fails
    if (UnpackEntry(entry, bytes.items()) != EntryCheck::Good)
        throw CrcError(EntryName(entry).text());
    return bytes;
}

Str ReadEntryText(const wchar_t* name)
{
    ByteArray bytes = ReadEntry(name, -1);
    return Utf8ToStr(bytes.items(), bytes.length());
}

StrArray ListEntryNames()
{
    StrArray names;
    names.makeEmpty();
    ArchiveWalk walk = StartWalk(Payload.base, Payload.length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry)) {
        // This reader cannot list the files of a solid block: a pattern would silently match
        // none of them, so the archive counts as damaged rather than as holding fewer files.
        if (entry.kind == EntryKindSolid)
            throw CrcError(EntryName(entry).text());
        names.append(EntryName(entry));
    }
    return names;
}
