// Fuzz target over the portable archive format: on any bytes, the trailer search, the walk, the
// CRC check, run unpacking, inflating, LZMA decoding and an update installer's patches (behind a
// base of the size they name) into buffers of exact size, and reading solid blocks file by file,
// must neither crash nor read or write outside their buffers (built with AddressSanitizer, whose
// buffers are exact).
#include "archive/ArchiveFormat.h"
#include "archive/SolidBlock.h"
#include "archive/UpdateFormat.h"

#include <stdint.h>
#include <stdlib.h>
#include <zlib.h>

// Outputs are allocated at their stated size; larger ones are only walked past.
static const int32_t MaxOutput = 1 << 20;

static void Check(bool condition)
{
    if (!condition)
        abort();
}

static void Unpack(const ArchiveEntry& entry)
{
    if (entry.size > MaxOutput)
        return;
    uint8_t* out = static_cast<uint8_t*>(malloc(entry.size > 0 ? entry.size : 1));
    UnpackEntry(entry, out);
    free(out);
    PatchFields fields;
    uint32_t crc;
    ReadKeptCrc(entry, crc);
    if (NeedsBase(entry) && ReadPatchFields(entry, fields) && fields.baseSize <= MaxOutput) {
        uint8_t* window =
            static_cast<uint8_t*>(calloc(static_cast<size_t>(fields.baseSize) + entry.size + 1, 1));
        UnpackPatch(entry, window + fields.baseSize);
        free(window);
    }
}

static void* Allocate(void*, int64_t bytes)
{
    return malloc(static_cast<size_t>(bytes));
}

static void Release(void*, void* block)
{
    free(block);
}

// A solid block read as an installer would: its directory, then every file's slices. A file's
// slices add up to its size unless it is damaged, and a damaged stream damages every later file.
static void ReadSolid(const ArchiveEntry& entry)
{
    if (entry.size > MaxOutput)
        return;
    SolidCursor cursor;
    SolidMemory memory = {Allocate, Release, nullptr};
    // A block of kind 8 starts from a program's code: any bytes will do.
    static const uint8_t code[] = "MZ code that the block's stream may copy from, as from a program's own";
    if (OpenSolidBlock(cursor, entry, memory, SolidUse::Files, ProgramCode{code, sizeof code}) == SolidOpen::Good) {
        const SolidDirectory& directory = cursor.directory;
        Check(directory.length <= entry.size && directory.fileCount >= 1);
        SolidFile file;
        bool broken = false;
        int32_t maxBytes = 1 + entry.size % 5000;
        while (NextSolidFile(cursor, file)) {
            SolidName name = SolidFileName(directory, file);
            for (int32_t i = 0; i < file.nameCount; i++, name = SolidNameAfter(directory, name))
                for (int32_t u = 0; u < name.nameLength; u++)
                    SolidNameUnit(name, u);
            int64_t total = 0;
            const uint8_t* data;
            int32_t length;
            SolidStep step;
            while ((step = NextSolidSlice(cursor, maxBytes, data, length)) == SolidStep::Slice) {
                Check(length > 0 && length <= maxBytes && data >= cursor.window &&
                      data + length <= cursor.window + cursor.windowSize);
                total += length;
            }
            Check(step == SolidStep::Damaged || (total == file.size && !broken));
            broken = broken || cursor.broken;
        }
    }
    CloseSolidBlock(cursor);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input as a program file with an appended archive, else as an archive region.
    const uint8_t* base = data;
    int64_t length = static_cast<int64_t>(size);
    int64_t offset = 0, appendedLength = 0;
    if (FindAppendedArchive(data, length, offset, appendedLength)) {
        Check(offset >= 0 && appendedLength >= 0 && offset + appendedLength + TrailerSize <= length);
        base = data + offset;
        length = appendedLength;
    }
    ArchiveWalk walk = StartWalk(base, length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry)) {
        Check(entry.record >= base && entry.data + entry.packedSize <= base + length);
        Check(entry.packedSize >= 0 && entry.size >= 0 && entry.nameLength >= 0);
        Check(Crc32(entry.data, entry.packedSize) ==
              crc32(0, entry.packedSize ? entry.data : Z_NULL, static_cast<uInt>(entry.packedSize)));
        for (int32_t i = 0; i < entry.nameLength; i++)
            EntryNameUnit(entry, i);
        Unpack(entry);
        if (IsSolidKind(entry.kind))
            ReadSolid(entry);
    }
    WalkReachedEndRecord(walk);

    // The input as run-packed and as zlib data, into an output size taken from its first bytes.
    if (size >= 4) {
        int32_t outSize = static_cast<int32_t>(ReadU32(data) % 65536);
        uint8_t* out = static_cast<uint8_t*>(malloc(outSize > 0 ? outSize : 1));
        int32_t packedSize = static_cast<int32_t>(size - 4);
        UnpackRuns(data + 4, packedSize, out, outSize);
        InflateExact(data + 4, packedSize, out, outSize);
        free(out);
    }
    return 0;
}
