#include "archive/ArchiveReader.h"

#include "archive/ArchiveFormat.h"
#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/File.h"
#include "core/Utf8.h"

#include <windows.h>

#include <string.h>

PayloadArchive Payload = {nullptr, 0, ByteArray()};
uint64_t LastEntryTime = 0;

enum : int32_t { ProgramResourceId = 103 };

void UseArchive(const uint8_t* base, int32_t length)
{
    Payload.programFile.release();
    Payload.base = base;
    Payload.length = base && length > 0 ? length : 0;
}

void ReleaseArchive()
{
    Payload.base = nullptr;
    Payload.length = 0;
    Payload.programFile.release();
}

void UseArchiveFile(const Str& path)
{
    File file;
    file.open(path, FileRead, -4);
    int64_t size = file.size();
    ByteArray whole;
    whole.resize(size);
    if (size > 0)
        memset(whole.items(), 0, static_cast<size_t>(size));
    if (file.read(whole.items(), size) != size)
        throw EofError(path.text());
    file.close();

    int64_t offset = 0, length = 0;
    if (!FindAppendedArchive(whole.items(), size, offset, length))
        throw WinError(ErrCorrupted, path.text());
    ReleaseArchive();
    Payload.programFile = whole;
    Payload.base = Payload.programFile.items() + offset;
    Payload.length = static_cast<int32_t>(length);
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

// Whether the record's name equals the wanted one. Records are not aligned, so the name is
// copied out before it is compared.
static bool NameMatches(const ArchiveEntry& entry, const wchar_t* name, int64_t length)
{
    if (entry.nameLength != length)
        return false;
    wchar_t small[260];
    CharBuffer large;
    wchar_t* units = small;
    if (entry.nameLength > 260) {
        large.reserveZeros(entry.nameLength);
        units = large.text();
    }
    memcpy(units, entry.name, 2 * static_cast<size_t>(entry.nameLength));
    return StrEqualNoCase(units, entry.nameLength, name, length);
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
    ArchiveWalk walk = StartWalk(Payload.base, Payload.length);
    while (NextEntry(walk, found))
        if (NameMatches(found, name, length))
            return true;
    return false;
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
    bytes.resize(entry.size);
    if (entry.size > 0)
        memset(bytes.items(), 0, static_cast<size_t>(entry.size));
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
    while (NextEntry(walk, entry))
        names.append(EntryName(entry));
    return names;
}
