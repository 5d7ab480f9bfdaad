// Solid blocks: records of kind 3 (or 8, below) whose data is one LZMA stream holding several
// files, so that each file is compressed with the bytes of the files before it. The stream begins with the
// block's directory (names, sizes, times, attributes and CRC-32s), which a reader decodes without
// the rest of the block, and then holds the files' bytes back to back.
//
// The record: the header of every record (kind 3; packed size and CRC-32 of the stored stream;
// size, the bytes the stream decodes to; the time of the newest file; a name that no file can
// have, "<solid block N>"), then the stream: a 5-byte LZMA header and the range-coded data. A
// block is never stored raw: its packed size differs from its size.
//
// What the stream decodes to, all integers little-endian:
//   u32 directory length D (these 12 bytes included)
//   u32 file count F (at least 1): stored byte runs, each with one name or more
//   u32 name count N (at least F)
//   F x u32 sizes, F x u32 CRC-32s of the files' bytes, F x u32 name counts (at least 1 each,
//   adding up to N: a file's names are the next that many of the list)
//   N x u64 times (FILETIME), N x u32 attributes (Windows FILE_ATTRIBUTE_* bits), N x u32 name
//   lengths (UTF-16 units, at least 1), then the N names in UTF-16LE back to back
//   then, from offset D, the F files' bytes back to back; D plus their sizes is the block's size.
//
// A record of kind 8 is the same, but its stream is decoded as if the setup program's code
// (archive/ProgramCode.h) had been decoded just before the block: the code fills the window first
// and positions count from its first byte, as with liblzma's preset dictionary.
//
// A cursor decodes one block from start to end and hands out its files in order, each as slices
// of its bytes followed by its verdict. Its memory is the directory, the LZMA state (about 30 KB)
// and a window of the smaller of the dictionary and the block, never the block itself.
// Portable, like the rest of the byte format: no Windows, no standard library.
#ifndef LUMIVO_ARCHIVE_SOLIDBLOCK_H
#define LUMIVO_ARCHIVE_SOLIDBLOCK_H

#include "archive/ArchiveFormat.h"
#include "archive/LzmaDecoder.h"
#include "archive/ProgramCode.h"

#include <stdint.h>

enum : int32_t {
    SolidDirectoryHeadSize = 12,
    SolidFileFieldsSize = 12, // size, CRC-32, name count
    SolidNameFieldsSize = 16, // time, attributes, name length
};

// The file attributes a block may carry; a reader ignores any other bit.
enum : uint32_t {
    SolidAttributeReadOnly = 0x1,
    SolidAttributeHidden = 0x2,
    SolidAttributeSystem = 0x4,
    SolidAttributeArchive = 0x20,
    SolidKnownAttributes = 0x27,
};

// A block's directory, checked whole, decoded in a buffer it points into.
struct SolidDirectory {
    const uint8_t* bytes;
    int32_t length;    // D
    int32_t fileCount; // F
    int32_t nameCount; // N
    int32_t blockSize; // D and the files' sizes
};

// One stored file: its bytes and its names.
struct SolidFile {
    int32_t index;
    int32_t size;
    uint32_t crc;
    int32_t nameCount;
    int32_t firstName;         // index of its first name
    const uint8_t* firstUnits; // that name's units in the directory
    int64_t offset;            // of its bytes in the block
};

struct SolidName {
    int32_t index;
    uint64_t time;
    uint32_t attributes;
    int32_t nameLength;  // UTF-16 units
    const uint8_t* name; // UTF-16LE, in the directory
};

// True when bytes (length bytes, a block of blockSize bytes begins with them) are a whole,
// consistent directory: the counts, lengths and sizes add up exactly.
bool ParseSolidDirectory(const uint8_t* bytes, int64_t length, int64_t blockSize, SolidDirectory& directory);
// The files in order: the first, and the one after file (index fileCount after the last).
SolidFile SolidFirstFile(const SolidDirectory& directory);
SolidFile SolidFileAfter(const SolidDirectory& directory, const SolidFile& file);
// A file's first name, and the name after name (the file's next, or the next file's first).
SolidName SolidFileName(const SolidDirectory& directory, const SolidFile& file);
SolidName SolidNameAfter(const SolidDirectory& directory, const SolidName& name);
uint16_t SolidNameUnit(const SolidName& name, int32_t index);

// Memory for a cursor: allocate returns null when it cannot.
struct SolidMemory {
    void* (*allocate)(void* context, int64_t bytes);
    void (*release)(void* context, void* block);
    void* context;
};

enum class SolidOpen {
    Good,
    Damaged,  // not a solid block, a size its stored bytes cannot give, or a broken directory
    NoMemory,
};

enum class SolidUse {
    Directory, // the directory only (listing, indexing)
    Files,     // the files too: the window is allocated as well
};

enum class SolidStep {
    Slice,    // data and length hold the next bytes of the current file (valid until the next call)
    End,      // the current file is complete and its CRC-32 is right (for the last file of the
              // block: and the stream ended exactly, and the stored bytes' CRC-32 is right)
    Damaged,  // the current file is damaged: its CRC-32 is wrong, or the stream broke in it or
              // before it (then every later file of the block is damaged too)
};

struct SolidCursor {
    ArchiveEntry record;
    SolidMemory memory;
    SolidDirectory directory;
    uint8_t* directoryBytes; // allocated
    uint8_t* window;         // allocated for SolidUse::Files
    uint32_t windowSize;
    uint8_t head[SolidDirectoryHeadSize];
    SolidFile file; // the current one, index -1 before the first
    int32_t fileDone; // bytes of it handed out
    uint32_t fileCrc; // of those bytes
    bool fileFinished; // End or Damaged was returned for it
    SolidStep fileVerdict; // which
    bool broken;      // the stream failed: nothing more can be decoded
    LzmaStream lzma;
};

// Opens the block of a record of kind 3 or 8: checks the record, then decodes and checks its
// directory only; for SolidUse::Files it also allocates the window. A block of kind 8 is decoded
// after code, the program's (damaged without it; while its directory is decoded, the code takes
// memory beside it). The record's data and the code must outlive the cursor. Call CloseSolidBlock
// whatever the result.
SolidOpen OpenSolidBlock(SolidCursor& cursor, const ArchiveEntry& record, const SolidMemory& memory,
                         SolidUse use, const ProgramCode& code = ProgramCode{nullptr, 0});
void CloseSolidBlock(SolidCursor& cursor);

// Moves to the next file, decoding past what is left of the current one; false after the last,
// and always for a cursor opened for its directory only.
bool NextSolidFile(SolidCursor& cursor, SolidFile& file);
// The next slice of the current file, at most maxBytes (at least 1) long, or its verdict. After
// End or Damaged it repeats that verdict until NextSolidFile.
SolidStep NextSolidSlice(SolidCursor& cursor, int32_t maxBytes, const uint8_t*& data, int32_t& length);

#endif
