// The files of a solid block read in order on one thread: a cursor through the block, its window
// and directory owned, kept open from file to file so that reading a block's files in order
// decodes it once. A file behind the cursor (another try at writing it) is reached by decoding the
// block again from its start.
#ifndef LUMIVO_ARCHIVE_BLOCKREADER_H
#define LUMIVO_ARCHIVE_BLOCKREADER_H

#include "archive/SolidBlock.h"

#include <stdint.h>

// The code of the program that carries the archive in use, which blocks of kind 8 start from (none
// until the archive is located; ArchiveReader sets it).
extern ProgramCode ArchiveProgramCode;

struct BlockReader {
    BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;
    ~BlockReader();

    SolidCursor* cursor;   // allocated while a block is open (its LZMA tables are about 30 KB)
    const uint8_t* record; // the open block's record
};

// Makes file the current file of the block at block.record (block may be one of the block's files
// as the index locates it), with none of its bytes read:
// carries on from where the reader stands when the file lies ahead, else opens the block from
// its start and decodes up to the file. False when the block cannot be read (damaged); MemoryError
// when its window cannot be had.
bool SeekBlockFile(BlockReader& reader, const ArchiveEntry& block, int32_t file);
// The next slice of the current file, at most capacity bytes, in the block's window (valid until
// the next call); End once the file is complete and right, Damaged when it is not.
SolidStep ReadBlockSlice(BlockReader& reader, int32_t capacity, const uint8_t** slice, int64_t* count);
// Frees the window and the directory; the reader may open a block again.
void CloseBlock(BlockReader& reader);

#endif
