#include "archive/ArchiveIndex.h"

#include "archive/BlockReader.h"
#include "archive/SolidBlock.h"
#include "core/CharCase.h"

#include <string.h>

const wchar_t* EntryNameUnits(const ArchiveEntry& entry, wchar_t (&small)[260], CharBuffer& large)
{
    wchar_t* units = small;
    if (entry.nameLength > 260) {
        large.makeEmpty();
        large.reserveZeros(entry.nameLength);
        units = large.text();
    }
    memcpy(units, entry.name, 2 * static_cast<size_t>(entry.nameLength));
    return units;
}

const wchar_t* RecordNameUnits(const uint8_t* record, wchar_t (&small)[260], CharBuffer& large)
{
    ArchiveEntry entry = ArchiveEntry();
    entry.nameLength = static_cast<int32_t>(ReadU32(record + 24));
    entry.name = record + RecordHeaderSize;
    return EntryNameUnits(entry, small, large);
}

// The slot where name lives, or the empty slot where it would go.
static int64_t FindSlot(const ArchiveIndex& index, const wchar_t* name, int64_t length)
{
    const void* const* slots = index.slots.items();
    int64_t mask = index.slots.length() - 1;
    wchar_t small[260];
    CharBuffer large;
    for (int64_t slot = HashNoCase(name, length) & mask;; slot = (slot + 1) & mask) {
        const EntryLocation* location = static_cast<const EntryLocation*>(slots[slot]);
        if (!location)
            return slot;
        const ArchiveEntry& entry = location->entry;
        if (entry.nameLength == length &&
            StrEqualNoCase(EntryNameUnits(entry, small, large), length, name, length))
            return slot;
    }
}

static void* AllocateDirectory(void*, int64_t bytes)
{
    try {
        return AllocateBlock(bytes);
    } catch (const MemoryError&) {
        return nullptr;
    }
}

static void FreeDirectory(void*, void* block)
{
    FreeBlock(block);
}

// Lists a solid block's files from its directory; false when the directory cannot be read.
static bool AddBlockNames(ArchiveIndex& index, const ArchiveEntry& block, SolidCursor& cursor)
{
    SolidMemory memory = {AllocateDirectory, FreeDirectory, nullptr};
    SolidOpen opened = OpenSolidBlock(cursor, block, memory, SolidUse::Directory, ArchiveProgramCode);
    if (opened != SolidOpen::Good) {
        CloseSolidBlock(cursor);
        if (opened == SolidOpen::NoMemory)
            throw MemoryError();
        return false;
    }
    index.directories.append(cursor.directoryBytes); // the index owns it from here on
    cursor.directoryBytes = nullptr;
    CloseSolidBlock(cursor);
    const SolidDirectory& directory = cursor.directory;
    for (SolidFile file = SolidFirstFile(directory); file.index < directory.fileCount;
         file = SolidFileAfter(directory, file)) {
        SolidName name = SolidFileName(directory, file);
        for (int32_t i = 0; i < file.nameCount; i++, name = SolidNameAfter(directory, name)) {
            EntryLocation location;
            location.entry = block;
            location.entry.size = file.size;
            location.entry.crc = file.crc;
            location.entry.time = name.time;
            location.entry.nameLength = name.nameLength;
            location.entry.name = name.name;
            location.file = file.index;
            index.names.append(location);
        }
    }
    return true;
}

ArchiveIndex IndexArchive(const uint8_t* base, int64_t length)
{
    ArchiveIndex index;
    index.names.makeEmpty();
    index.directories.makeEmpty();
    index.damagedBlock = nullptr;
    index.count = 0;
    SolidCursor* cursor = nullptr;
    try {
        ArchiveWalk walk = StartWalk(base, length);
        ArchiveEntry entry;
        while (NextEntry(walk, entry)) {
            if (!IsSolidKind(entry.kind)) {
                index.names.append(EntryLocation{entry, -1});
                continue;
            }
            if (!cursor)
                cursor = static_cast<SolidCursor*>(AllocateBlock(sizeof(SolidCursor)));
            if (!AddBlockNames(index, entry, *cursor) && !index.damagedBlock)
                index.damagedBlock = entry.record;
        }
        FreeBlock(cursor);
        cursor = nullptr;

        int64_t size = 16;
        while (size < 2 * index.names.length())
            size *= 2; // at most half full: probe chains stay short
        index.slots.makeEmpty();
        index.slots.insertUninitialized(0, size);
        memset(index.slots.items(), 0, static_cast<size_t>(size) * sizeof(void*));

        wchar_t small[260];
        CharBuffer large;
        for (int64_t i = 0; i < index.names.length(); i++) {
            EntryLocation* location = &index.names.items()[i];
            const wchar_t* name = EntryNameUnits(location->entry, small, large);
            int64_t slot = FindSlot(index, name, location->entry.nameLength);
            if (!index.slots.items()[slot]) { // the first entry of a name wins
                index.slots.items()[slot] = location;
                index.count++;
            }
        }
    } catch (...) {
        FreeBlock(cursor);
        ReleaseIndex(index);
        throw;
    }
    return index;
}

void ReleaseIndex(ArchiveIndex& index)
{
    for (int64_t i = 0; i < index.directories.length(); i++)
        FreeBlock(index.directories.items()[i]);
    index.directories.release();
    index.names.release();
    index.slots.release();
    index.damagedBlock = nullptr;
    index.count = 0;
}

const EntryLocation* IndexLookup(const ArchiveIndex& index, const wchar_t* name, int64_t length)
{
    if (index.slots.length() == 0)
        return nullptr;
    return static_cast<const EntryLocation*>(index.slots.items()[FindSlot(index, name, length)]);
}
