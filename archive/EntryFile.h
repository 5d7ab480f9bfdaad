// Writing an unpacked entry to disk so that the destination is either left as it was or replaced
// whole: the bytes go into destination + "$$" beside it, and only a complete file is moved over
// the destination, which then gets the entry's own time.
#ifndef LUMIVO_ARCHIVE_ENTRYFILE_H
#define LUMIVO_ARCHIVE_ENTRYFILE_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

// Writes bytes (may be empty) to destination + "$$" (a leftover of that name is truncated and
// reused), then moves it over destination stamped with LastEntryTime. A failed write deletes
// the temporary file and names it in the error; the destination is untouched.
void WriteEntryFile(const Str& destination, const ByteArray& bytes);

// Moves temporary over destination (replacing it) and, when time is given, sets its last-write
// time (a file that cannot be opened for that keeps the system's time). A failed move deletes
// the temporary file and raises the move's code with the destination path (MemoryError for 8
// and 14).
void MoveIntoPlace(const Str& temporary, const Str& destination, const uint64_t* time);

#endif
