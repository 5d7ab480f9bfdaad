// Read access to the payload archive that the program carries: RCDATA resource 103, or an archive
// appended behind the program image and found through its 16-byte trailer. Located once at
// start-up; entries are looked up by name without regard to case (backslashes only), verified
// by their CRC and unpacked whole (a file of a solid block by decoding the block up to it).
#ifndef LUMIVO_ARCHIVE_ARCHIVEREADER_H
#define LUMIVO_ARCHIVE_ARCHIVEREADER_H

#include "archive/ArchiveIndex.h"
#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

// The archive in use: base and length, and for an appended archive the read-only view of the
// whole program file that base points into. The archive is never copied: a resource is used in
// place and a program file through its mapping, whose pages the system reads as they are touched
// and may drop again, so the program's own memory does not grow with the archive.
struct PayloadArchive {
    const uint8_t* base;
    int32_t length;
    const void* fileView; // null unless the archive is appended to a file
};
extern PayloadArchive Payload;

// Finds the archive of the running program: resource 103 when it exists and is not empty, else
// the appended archive (the open's WinError or EofError when the program file cannot be mapped,
// WinError -300 with the program path when its trailer is wrong). An archive already in use is
// kept. The names are indexed once here.
void LocateArchive();
// Uses the archive appended to the file at path (the same rules and errors as LocateArchive).
void UseArchiveFile(const Str& path);
// Uses an archive in memory that outlives its use (tests, resources). Its solid blocks of kind 8
// start from the code of image, a program image as the loader maps it (the program's own module,
// or another loaded as an image resource), which must outlive the archive's use; without one
// they are damaged.
void UseArchive(const uint8_t* base, int32_t length, const uint8_t* image = nullptr);
// Forgets the archive and its index, and unmaps the program file of an appended archive.
void ReleaseArchive();

// Where the first entry whose name equals name under case-insensitive comparison lies, or null. A
// negative length means that name is zero-terminated. Looked up in the index, not walked. A name
// that the archive does not show while one of its solid blocks has a directory that cannot be
// read is taken to lie in that block: reading it fails with the block's name.
const EntryLocation* LocateEntry(const wchar_t* name, int64_t length);
// The record of LocateEntry's entry (for a file of a solid block, the block's), or null.
const uint8_t* FindEntry(const wchar_t* name, int64_t length);
// The verified, unpacked bytes of an entry, exactly its size long; sets LastEntryTime. WinError 2
// with the name when it is missing, CrcError with the record's name when it is damaged.
ByteArray ReadEntry(const wchar_t* name, int64_t length = -1);
// ReadEntry decoded from UTF-8 (a leading byte-order mark is dropped).
Str ReadEntryText(const wchar_t* name);
// The names of all entries in archive order, a solid block's files as its directory lists them, but
// for an update installer's update record. CrcError with the block's name for a solid block whose
// directory cannot be read.
StrArray ListEntryNames();

// FILETIME of the entry that ReadEntry read last, stamped on the file written next.
extern uint64_t LastEntryTime;

#endif
