#include "archive/BlockReader.h"

#include "core/Array.h"
#include "core/Error.h"

#include <windows.h>

ProgramCode ArchiveProgramCode = {nullptr, 0};

// Committed but not touched: a window larger than what a block uses costs no memory.
static void* AllocatePages(void*, int64_t bytes)
{
    return VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

static void ReleasePages(void*, void* block)
{
    VirtualFree(block, 0, MEM_RELEASE);
}

BlockReader::BlockReader() : cursor(nullptr), record(nullptr) {}

BlockReader::~BlockReader()
{
    CloseBlock(*this);
}

void CloseBlock(BlockReader& reader)
{
    if (reader.cursor) {
        CloseSolidBlock(*reader.cursor);
        FreeBlock(reader.cursor);
    }
    reader.cursor = nullptr;
    reader.record = nullptr;
}

// Whether the cursor can reach file without going back.
static bool Ahead(const BlockReader& reader, const ArchiveEntry& block, int32_t file)
{
    if (!reader.cursor || reader.record != block.record)
        return false;
    const SolidCursor& cursor = *reader.cursor;
    return cursor.file.index < file || (cursor.file.index == file && cursor.fileDone == 0 && !cursor.fileFinished);
}

bool SeekBlockFile(BlockReader& reader, const ArchiveEntry& block, int32_t file)
{
    if (!Ahead(reader, block, file)) {
        CloseBlock(reader);
        reader.cursor = static_cast<SolidCursor*>(AllocateBlock(sizeof(SolidCursor)));
        // The block's own record: block may stand for one of its files, with that file's size.
        ArchiveWalk walk = StartWalk(block.record, block.data + block.packedSize - block.record);
        ArchiveEntry record;
        if (!NextEntry(walk, record))
            record = ArchiveEntry(); // cannot be: the record was whole when it was indexed
        SolidMemory memory = {AllocatePages, ReleasePages, nullptr};
        SolidOpen opened = OpenSolidBlock(*reader.cursor, record, memory, SolidUse::Files, ArchiveProgramCode);
        reader.record = block.record;
        if (opened != SolidOpen::Good) {
            CloseBlock(reader);
            if (opened == SolidOpen::NoMemory)
                throw MemoryError();
            return false;
        }
    }
    SolidFile current;
    while (reader.cursor->file.index < file)
        if (!NextSolidFile(*reader.cursor, current)) {
            CloseBlock(reader); // a file the directory does not hold: not from this block's index
            return false;
        }
    return true;
}

SolidStep ReadBlockSlice(BlockReader& reader, int32_t capacity, const uint8_t** slice, int64_t* count)
{
    const uint8_t* data = nullptr;
    int32_t length = 0;
    SolidStep step = NextSolidSlice(*reader.cursor, capacity, data, length);
    *slice = data;
    *count = length;
    return step;
}
