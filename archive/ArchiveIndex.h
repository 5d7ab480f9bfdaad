// The archive's names indexed once: a table from each name, without regard to case, to the
// first record that carries it, so that finding an entry costs a hash instead of a walk over
// every record before it.
#ifndef LUMIVO_ARCHIVE_ARCHIVEINDEX_H
#define LUMIVO_ARCHIVE_ARCHIVEINDEX_H

#include "core/Array.h"

#include <stdint.h>

struct ArchiveIndex {
    PtrArray slots; // open addressing, a power of two long: a record's first byte, or null
    int64_t count;  // distinct names
};

// Walks the records as a lookup would (up to the end record, the end of the region or a damaged
// record) and keeps the first record of every name.
ArchiveIndex IndexArchive(const uint8_t* base, int64_t length);

// The first record whose name has length units and equals name without regard to case, or null.
const uint8_t* IndexLookup(const ArchiveIndex& index, const wchar_t* name, int64_t length);

// A record's name as UTF-16 units: records are not aligned, so the units are copied out into
// small when they fit (260 units) or into large.
const wchar_t* RecordNameUnits(const uint8_t* record, wchar_t (&small)[260], CharBuffer& large);

#endif
