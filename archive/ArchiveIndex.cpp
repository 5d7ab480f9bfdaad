#include "archive/ArchiveIndex.h"

#include "archive/ArchiveFormat.h"
#include "core/CharCase.h"

#include <string.h>

const wchar_t* RecordNameUnits(const uint8_t* record, wchar_t (&small)[260], CharBuffer& large)
{
    int32_t length = static_cast<int32_t>(ReadU32(record + 24));
    wchar_t* units = small;
    if (length > 260) {
        large.makeEmpty();
        large.reserveZeros(length);
        units = large.text();
    }
    memcpy(units, record + RecordHeaderSize, 2 * static_cast<size_t>(length));
    return units;
}

// The slot where name lives, or the empty slot where it would go.
static int64_t FindSlot(const ArchiveIndex& index, const wchar_t* name, int64_t length)
{
    const void* const* slots = index.slots.items();
    int64_t mask = index.slots.length() - 1;
    wchar_t small[260];
    CharBuffer large;
    for (int64_t slot = HashNoCase(name, length) & mask;; slot = (slot + 1) & mask) {
        const uint8_t* record = static_cast<const uint8_t*>(slots[slot]);
        if (!record)
            return slot;
        if (static_cast<int64_t>(ReadU32(record + 24)) == length &&
            StrEqualNoCase(RecordNameUnits(record, small, large), length, name, length))
            return slot;
    }
}

ArchiveIndex IndexArchive(const uint8_t* base, int64_t length)
{
    int64_t records = 0;
    ArchiveWalk walk = StartWalk(base, length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry))
        records++;

    ArchiveIndex index;
    index.count = 0;
    int64_t size = 16;
    while (size < 2 * records)
        size *= 2; // at most half full: probe chains stay short
    index.slots.makeEmpty();
    index.slots.insertUninitialized(0, size);
    memset(index.slots.items(), 0, static_cast<size_t>(size) * sizeof(void*));

    wchar_t small[260];
    CharBuffer large;
    walk = StartWalk(base, length);
    while (NextEntry(walk, entry)) {
        const wchar_t* name = RecordNameUnits(entry.record, small, large);
        int64_t slot = FindSlot(index, name, entry.nameLength);
        if (!index.slots.items()[slot]) { // the first record of a name wins
            index.slots.items()[slot] = const_cast<uint8_t*>(entry.record);
            index.count++;
        }
    }
    return index;
}

const uint8_t* IndexLookup(const ArchiveIndex& index, const wchar_t* name, int64_t length)
{
    if (index.slots.length() == 0)
        return nullptr;
    return static_cast<const uint8_t*>(index.slots.items()[FindSlot(index, name, length)]);
}
