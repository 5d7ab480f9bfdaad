#include "archive/ArchiveReader.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveIndex.h"
#include "archive/BlockReader.h"
#include "archive/EntryReader.h"
#include "archive/ProgramCode.h"
#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/Utf8.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>

PayloadArchive Payload = {nullptr, 0, nullptr};
uint64_t LastEntryTime = 0;

static ArchiveIndex Index = {LocationArray(), PtrArray(), PtrArray(), nullptr, 0};
static void* ProgramCodeCopy = nullptr; // what ArchiveProgramCode points into

enum : int32_t { ProgramResourceId = 103 };

void ReleaseArchive()
{
    Payload.base = nullptr;
    Payload.length = 0;
    ReleaseIndex(Index);
    if (Payload.fileView)
        UnmapViewOfFile(Payload.fileView);
    Payload.fileView = nullptr;
    ArchiveProgramCode = ProgramCode{nullptr, 0};
    if (ProgramCodeCopy)
        FreeBlock(ProgramCodeCopy);
    ProgramCodeCopy = nullptr;
}

static bool HasProgramBlocks(const uint8_t* base, int32_t length)
{
    ArchiveWalk walk = StartWalk(base, length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry))
        if (entry.kind == EntryKindSolidOnProgram)
            return true;
    return false;
}

// Uses the archive, whose blocks of kind 8 start from the code of image (none: they are damaged);
// the code is copied before the index reads their directories.
static void UseArchiveOf(const uint8_t* base, int32_t length, const ProgramImage& image)
{
    ReleaseArchive();
    Payload.base = base;
    Payload.length = base && length > 0 ? length : 0;
    int32_t codeLength = image.bytes && HasProgramBlocks(Payload.base, Payload.length) ? ProgramCodeLength(image) : 0;
    if (codeLength > 0) {
        ProgramCodeCopy = AllocateBlock(codeLength);
        CopyProgramCode(image, static_cast<uint8_t*>(ProgramCodeCopy));
        ArchiveProgramCode = ProgramCode{static_cast<const uint8_t*>(ProgramCodeCopy), codeLength};
    }
    Index = IndexArchive(Payload.base, Payload.length);
}

void UseArchive(const uint8_t* base, int32_t length, const uint8_t* image)
{
    // A loaded image holds its headers' SizeOfImage bytes, which bound what is read of it.
    UseArchiveOf(base, length, ProgramImage{image, INT64_MAX, true});
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
        ThrowLastError(path.text(), L"CreateFileW");
    return file;
}

void UseArchiveFile(const Str& path)
{
    // A read-only mapping instead of a copy: nothing is read that is not used, and pages come
    // and go with the system's cache rather than the program's own memory.
    OwnedFileHandle file(OpenForMapping(path));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size))
        ThrowLastError(path.text(), L"GetFileSizeEx");
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
    UseArchiveOf(bytes + offset, static_cast<int32_t>(length), ProgramImage{bytes, size.QuadPart, false});
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
            // Its blocks of kind 8 start from the code of the image that runs, never from the
            // file, which may have been swapped since it started.
            UseArchive(static_cast<const uint8_t*>(data), static_cast<int32_t>(size),
                       reinterpret_cast<const uint8_t*>(module));
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

const EntryLocation* LocateEntry(const wchar_t* name, int64_t length)
{
    if (!name)
        name = L"";
    if (length < 0)
        length = TextLength(name);
    const EntryLocation* location = IndexLookup(Index, name, length);
    if (location || !Index.damagedBlock)
        return location;
    static EntryLocation damaged;
    ArchiveWalk walk = StartWalk(Index.damagedBlock, Payload.base + Payload.length - Index.damagedBlock);
    NextEntry(walk, damaged.entry); // whole: it was walked when indexed
    damaged.file = -1;
    return &damaged;
}

const uint8_t* FindEntry(const wchar_t* name, int64_t length)
{
    const EntryLocation* location = LocateEntry(name, length);
    return location ? location->entry.record : nullptr;
}

// A file of a solid block: the block decoded from its start up to the file, then the file.
static ByteArray ReadBlockFile(const EntryLocation& location)
{
    ByteArray bytes;
    bytes.resizeForFilling(location.entry.size);
    EntryReader reader;
    if (OpenLocatedEntry(reader, location, false) != EntryCheck::Good)
        throw CrcError(EntryName(location.entry).text());
    const uint8_t* piece;
    int64_t count, at = 0;
    for (;;) {
        PieceResult result = ReadPiece(reader, nullptr, MaxPieceSize, &piece, &count);
        if (result == PieceResult::End)
            return bytes;
        if (result == PieceResult::NoMemory)
            throw MemoryError();
        if (result != PieceResult::Piece)
            throw CrcError(EntryName(location.entry).text());
        memcpy(bytes.items() + at, piece, static_cast<size_t>(count));
        at += count;
    }
}

ByteArray ReadEntry(const wchar_t* name, int64_t length)
{
    if (!name)
        name = L"";
    if (length < 0)
        length = TextLength(name);
    const EntryLocation* location = LocateEntry(name, length);
    if (!location)
        throw WinError(ERROR_FILE_NOT_FOUND, Str(name, length).text());
    const ArchiveEntry& entry = location->entry;
    LastEntryTime = entry.time;
    if (location->file >= 0)
        return ReadBlockFile(*location);
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
    // A pattern would silently match none of an unreadable block's files: the archive counts as
    // damaged rather than as holding fewer files.
    if (Index.damagedBlock) {
        ArchiveWalk walk = StartWalk(Index.damagedBlock, Payload.base + Payload.length - Index.damagedBlock);
        ArchiveEntry block;
        NextEntry(walk, block);
        throw CrcError(EntryName(block).text());
    }
    StrArray names;
    names.makeEmpty();
    for (int64_t i = 0; i < Index.names.length(); i++)
        if (Index.names.items()[i].entry.kind != EntryKindUpdate) // describes the update, not a file
            names.append(EntryName(Index.names.items()[i].entry));
    return names;
}
