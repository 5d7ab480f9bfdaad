// One archive entry's bytes a piece at a time, so that a file is written as it is unpacked: a zlib
// stream is inflated into the caller's buffer slice by slice (one inflate state, reused from entry
// to entry), stored bytes come straight from the archive, and runs and LZMA streams, whose
// back-references may reach anywhere in what came before, are unpacked whole first (into the
// caller's buffer when they fit), as are an update installer's patches, decoded behind their base
// (archive/UpdateFormat.h). The stored bytes' CRC and the declared size are checked before
// the first piece, so a damaged record gives nothing; a stream that then turns out wrong (only a
// crafted archive has a right CRC for it) fails at the piece where it does. A file of a solid block
// comes slice by slice from the block's window as the block is decoded; each file is checked
// against its own CRC-32 at its end, so a damaged one fails at its last piece.
#ifndef LUMIVO_ARCHIVE_ENTRYREADER_H
#define LUMIVO_ARCHIVE_ENTRYREADER_H

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveIndex.h"
#include "archive/BlockReader.h"
#include "core/Array.h"

#include <stdint.h>

struct z_stream_s;

// Stored bytes are handed out in pieces of at most this size.
enum : int32_t { MaxPieceSize = 4 << 20 };

// Where the base of a patch comes from: fills count bytes at into with the installed file that the
// entry of that index patches (the index as whoever opens the entry counts it). False when that
// file cannot be read or has another size: the entry is then damaged. Called on several threads
// at once.
struct PatchBaseReader {
    bool (*read)(void* context, int64_t index, uint8_t* into, int64_t count);
    void* context;
};

struct EntryReader {
    EntryReader();
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;
    ~EntryReader();

    ArchiveEntry entry;
    int64_t done;            // bytes handed out
    struct z_stream_s* zlib; // null until a zlib stream is read; kept for the next one
    ByteArray whole;         // runs and LZMA unpacked whole, when they do not fit the caller's buffer
    const uint8_t* wholeBytes;
    PatchBaseReader bases;   // read null when there are none: a patch is then damaged
    int64_t index;           // the open entry's, for bases
    int32_t file;      // of the solid block open in block, -1 when reading a record of its own
    BlockReader block; // kept open from file to file; CloseBlock frees it
};

enum class PieceResult { Piece, End, Damaged, NoMemory };

// Whether the entry is stored as it is: its pieces are the archive's own bytes (never a file of a
// solid block, whose entry is its block's record).
bool IsStored(const ArchiveEntry& entry);
// The memory that reading the entry takes beside a caller's buffer of capacity bytes: its whole
// size for runs and LZMA that do not fit there (a patch's with its base's), else nothing.
int64_t WholeBufferSize(const ArchiveEntry& entry, int32_t capacity);

// Starts reading entry from its first byte, after checking its declared size and the CRC of its
// stored bytes (unless crcChecked: it was, by whoever opened it before). index is the entry's, for
// the reader's bases.
EntryCheck OpenEntry(EntryReader& reader, const ArchiveEntry& entry, bool crcChecked, int64_t index = -1);
// OpenEntry for any located entry. A file of a solid block is reached by carrying on through the
// block that the reader has open when the file lies ahead, else by decoding its block from the
// start; BadData when the block cannot be read, MemoryError when its window cannot be had.
EntryCheck OpenLocatedEntry(EntryReader& reader, const EntryLocation& location, bool crcChecked,
                            int64_t index = -1);

// The next piece of the open entry in piece and count: at most capacity bytes unpacked into buffer
// or taken from the whole buffer, or stored bytes straight from the archive. End after the last byte; Damaged when
// the stream is wrong (it ends early, runs on, or does not decode); NoMemory when a whole buffer
// cannot be had.
PieceResult ReadPiece(EntryReader& reader, uint8_t* buffer, int32_t capacity, const uint8_t** piece,
                      int64_t* count);

#endif
