// Writing an unpacked entry to disk so that the destination is either left as it was or replaced
// whole: the bytes go into a new temporary file beside the destination, which is flushed to disk
// and only then moved over the destination, stamped with the entry's own time. A destination that
// does not exist yet can instead be created in place, at its own name: nothing stands there to
// keep whole.
//
// A temporary file's name is the destination's, a dot, 16 random hexadecimal digits and "$$": on
// the destination's volume, recognisable as a leftover, and not guessable before it exists. It
// is created with CREATE_NEW, so nothing that already stands under that name (a file, a link
// planted there) is ever opened or written through, and it stays open until it is moved into
// place, so nothing can be swapped in under its name meanwhile.
#ifndef LUMIVO_ARCHIVE_ENTRYFILE_H
#define LUMIVO_ARCHIVE_ENTRYFILE_H

#include "archive/ByteSource.h"
#include "core/Array.h"
#include "core/Owned.h"
#include "core/Str.h"

#include <stdint.h>

// A temporary file being written; path is empty when there is none.
struct TemporaryFile {
    Str path;
    OwnedFileHandle handle;
};

// ERROR_REPARSE_POINT_ENCOUNTERED, which not every set of platform headers names.
enum : int32_t { ErrorReparsePointEncountered = 4395 };

// Raises ErrorReparsePointEncountered with name unless the open handle, of a file that was just
// created, is a plain file: not a directory, not a link or other reparse point.
void CheckPlainNewFile(void* file, const Str& name);

// destination + "." + 16 random hexadecimal digits + "$$".
Str TemporaryNameFor(const Str& destination);

// Told how many bytes of a file are written so far, every few megabytes of a large one.
struct WriteProgress {
    void (*report)(void* context, int64_t written);
    void* context;
};
// A file's progress is told each time this many more bytes are written.
enum : int32_t { WritePieceSize = 4 << 20 };

// Creates file.path anew, checks that the handle is a plain file (no link, reparse point or
// directory), writes the bytes as they come, sets the last-write time when one is given, and
// flushes the file to disk. Any failure (of the source too) deletes what was created and raises
// with file.path as the name (a name that is already taken raises its code and leaves that file
// alone; a damaged source raises its own error).
void WriteTemporary(TemporaryFile& file, const ByteSource& bytes, const uint64_t* time,
                    const WriteProgress* progress = nullptr);
void WriteTemporary(TemporaryFile& file, const uint8_t* bytes, int64_t count, const uint64_t* time,
                    const WriteProgress* progress = nullptr);

// Creates path anew at its own name (CREATE_NEW: whatever stands there, a file or a link, is never
// opened), writes the bytes as they come and sets the last-write time when one is given; the file
// stays open in file, not flushed, for whoever closes it. A failure deletes what was created and
// raises with path as the name; a name that is taken raises its code and leaves that file alone.
void CreateInPlace(OwnedFileHandle& file, const Str& path, const ByteSource& bytes, const uint64_t* time,
                   const WriteProgress* progress = nullptr);

// Deletes a file through its handle (opened with DELETE access), then closes it; never fails.
void DeleteOpenFile(OwnedFileHandle& file, const Str& path);

// Renames the open temporary file to destination and closes it. replaceExisting: whether a file
// standing there is replaced. A failure raises its code with the destination's name and leaves
// the temporary file open and in place, to try again or discard.
void RenameTemporary(TemporaryFile& file, const Str& destination, bool replaceExisting);

// Renames an open file (opened with DELETE access) to destination; false with the system's error
// code (GetLastError) on failure.
bool RenameOpenFile(void* file, const Str& destination, bool replaceExisting);

// Deletes the temporary file, if any, and forgets it; never fails.
void DiscardTemporary(TemporaryFile& file);

// Writes count bytes (may be none) through a new temporary file over destination, stamped with
// time when given. A failed write names the temporary file, a failed move the destination; either
// way the temporary file is gone and the destination untouched.
void ReplaceFileWith(const Str& destination, const uint8_t* bytes, int64_t count, const uint64_t* time);

// ReplaceFileWith the entry's bytes and LastEntryTime.
void WriteEntryFile(const Str& destination, const ByteArray& bytes);

#endif
