// The archive's names indexed once: a table from each name, without regard to case, to where the
// first entry of that name lies (a record of its own, or a file of a solid block, listed from the
// block's directory without decoding its files), so that finding an entry costs a hash instead of
// a walk over every record before it.
#ifndef LUMIVO_ARCHIVE_ARCHIVEINDEX_H
#define LUMIVO_ARCHIVE_ARCHIVEINDEX_H

#include "archive/ArchiveFormat.h"
#include "core/Array.h"

#include <stdint.h>

// Where one name's bytes lie.
struct EntryLocation {
    // The entry's own record; for a file of a solid block, the block's record with the file's size,
    // CRC-32 and name, and the name's time (the name points into the block's directory).
    ArchiveEntry entry;
    int32_t file; // index in its solid block, -1 for a record of its own
};
typedef Array<EntryLocation, true, 4> LocationArray;

struct ArchiveIndex {
    LocationArray names;          // every name in archive order (a block's in its directory's)
    PtrArray slots;               // open addressing, a power of two long: an item of names, or null
    PtrArray directories;         // the solid blocks' directories, which names point into
    const uint8_t* damagedBlock;  // the first solid block whose directory cannot be read, or null
    int64_t count;                // distinct names
};

// Walks the records as a lookup would (up to the end record, the end of the region or a damaged
// record), reads each solid block's directory, and keeps the first entry of every name.
// MemoryError when a directory cannot be held.
ArchiveIndex IndexArchive(const uint8_t* base, int64_t length);
// Frees what the index holds.
void ReleaseIndex(ArchiveIndex& index);

// The first entry whose name has length units and equals name without regard to case, or null.
const EntryLocation* IndexLookup(const ArchiveIndex& index, const wchar_t* name, int64_t length);

// A record's name as UTF-16 units: records are not aligned, so the units are copied out into
// small when they fit (260 units) or into large.
const wchar_t* RecordNameUnits(const uint8_t* record, wchar_t (&small)[260], CharBuffer& large);
// The same for any entry's name.
const wchar_t* EntryNameUnits(const ArchiveEntry& entry, wchar_t (&small)[260], CharBuffer& large);

#endif
