#include "archive/EntryReader.h"

#include "archive/LzmaDecoder.h"
#include "archive/UpdateFormat.h"
#include "core/Error.h"

#include <string.h>
#include <zlib.h>

EntryReader::EntryReader() : entry(), done(0), zlib(nullptr), wholeBytes(nullptr), bases(), index(-1), file(-1) {}

EntryReader::~EntryReader()
{
    if (zlib) {
        inflateEnd(zlib);
        FreeBlock(zlib);
    }
}

bool IsStored(const ArchiveEntry& entry)
{
    return entry.packedSize == entry.size && !IsSolidKind(entry.kind);
}

static bool UnpacksWhole(const ArchiveEntry& entry)
{
    return !IsStored(entry) && entry.kind != EntryKindZlib && !IsSolidKind(entry.kind);
}

// The bytes an entry unpacked whole takes: a patch's base lies before it, as the decoder's window.
static int64_t WholeSize(const ArchiveEntry& entry)
{
    PatchFields fields;
    if (NeedsBase(entry) && ReadPatchFields(entry, fields))
        return fields.baseSize + entry.size;
    return entry.size;
}

int64_t WholeBufferSize(const ArchiveEntry& entry, int32_t capacity)
{
    if (!UnpacksWhole(entry))
        return 0;
    int64_t size = WholeSize(entry);
    return size > capacity ? size : 0;
}

EntryCheck OpenEntry(EntryReader& reader, const ArchiveEntry& entry, bool crcChecked, int64_t index)
{
    reader.entry = entry;
    reader.index = index;
    reader.done = 0;
    reader.file = -1;
    reader.whole.release();
    reader.wholeBytes = nullptr;
    if (!crcChecked && Crc32(entry.data, entry.packedSize) != entry.crc)
        return EntryCheck::BadCrc;
    PatchFields fields;
    if (!DeclaredSizeIsPlausible(entry) ||
        (!IsStored(entry) && entry.kind != EntryKindZlib && entry.kind != EntryKindRuns &&
         entry.kind != EntryKindLzma && entry.kind != EntryKindPatch) ||
        (NeedsBase(entry) && (!reader.bases.read || !ReadPatchFields(entry, fields))))
        return EntryCheck::BadData;
    if (!IsStored(entry) && entry.kind == EntryKindZlib) {
        if (!reader.zlib) {
            reader.zlib = static_cast<z_stream*>(AllocateZeroed(sizeof(z_stream)));
            // 15 window bits, plus 32: a zlib or a gzip header.
            if (inflateInit2(reader.zlib, 47) != Z_OK) {
                FreeBlock(reader.zlib);
                reader.zlib = nullptr;
                throw MemoryError();
            }
        } else {
            inflateReset(reader.zlib);
        }
        // zlib refuses null buffers even when they are empty.
        static const uint8_t none = 0;
        reader.zlib->next_in = const_cast<Bytef*>(entry.packedSize > 0 ? entry.data : &none);
        reader.zlib->avail_in = static_cast<uInt>(entry.packedSize);
    }
    return EntryCheck::Good;
}

EntryCheck OpenLocatedEntry(EntryReader& reader, const EntryLocation& location, bool crcChecked, int64_t index)
{
    if (location.file < 0)
        return OpenEntry(reader, location.entry, crcChecked, index);
    reader.entry = location.entry;
    reader.index = index;
    reader.done = 0;
    reader.whole.release();
    reader.wholeBytes = nullptr;
    reader.file = -1;
    if (!SeekBlockFile(reader.block, location.entry, location.file))
        return EntryCheck::BadData;
    reader.file = location.file;
    return EntryCheck::Good;
}

static PieceResult FromBlock(EntryReader& reader, int32_t capacity, const uint8_t** piece, int64_t* count)
{
    SolidStep step = ReadBlockSlice(reader.block, capacity, piece, count);
    if (step == SolidStep::Slice) {
        reader.done += *count;
        return PieceResult::Piece;
    }
    return step == SolidStep::End ? PieceResult::End : PieceResult::Damaged;
}

static PieceResult FromMemory(EntryReader& reader, const uint8_t* bytes, int32_t limit, const uint8_t** piece,
                              int64_t* count)
{
    int64_t left = reader.entry.size - reader.done;
    if (left == 0)
        return PieceResult::End;
    *piece = bytes + reader.done;
    *count = left < limit ? left : limit;
    reader.done += *count;
    return PieceResult::Piece;
}

static PieceResult Inflate(EntryReader& reader, uint8_t* buffer, int32_t capacity, const uint8_t** piece,
                           int64_t* count)
{
    z_stream& z = *reader.zlib;
    int64_t left = reader.entry.size - reader.done;
    if (left == 0) {
        // The stream must end here: one byte more is a stream longer than its entry.
        uint8_t extra;
        z.next_out = &extra;
        z.avail_out = 1;
        int result = inflate(&z, Z_FINISH);
        return result == Z_STREAM_END && z.avail_out == 1 ? PieceResult::End : PieceResult::Damaged;
    }
    z.next_out = buffer;
    z.avail_out = static_cast<uInt>(left < capacity ? left : capacity);
    int result = inflate(&z, Z_NO_FLUSH);
    int64_t produced = (left < capacity ? left : capacity) - z.avail_out;
    if (result == Z_MEM_ERROR)
        return PieceResult::NoMemory;
    if ((result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) || produced == 0 ||
        (result == Z_STREAM_END && produced != left))
        return PieceResult::Damaged;
    reader.done += produced;
    *piece = buffer;
    *count = produced;
    return PieceResult::Piece;
}

PieceResult ReadPiece(EntryReader& reader, uint8_t* buffer, int32_t capacity, const uint8_t** piece,
                      int64_t* count)
{
    const ArchiveEntry& entry = reader.entry;
    if (reader.file >= 0)
        return FromBlock(reader, capacity, piece, count);
    if (IsStored(entry))
        return FromMemory(reader, entry.data, MaxPieceSize, piece, count);
    if (entry.kind == EntryKindZlib)
        return Inflate(reader, buffer, capacity, piece, count);
    if (!reader.wholeBytes) {
        int64_t size = WholeSize(entry);
        uint8_t* out = buffer;
        if (size > capacity) {
            try {
                reader.whole.resizeForFilling(size);
            } catch (const MemoryError&) {
                return PieceResult::NoMemory;
            }
            out = reader.whole.items();
        }
        if (NeedsBase(entry)) {
            // The base first, then the file decoded behind it; a base that is not the one the patch
            // was made against fails it.
            int64_t baseSize = size - entry.size;
            if (!reader.bases.read(reader.bases.context, reader.index, out, baseSize) ||
                UnpackPatch(entry, out + baseSize) != PatchCheck::Good)
                return PieceResult::Damaged;
            out += baseSize;
        } else {
            bool good = entry.kind == EntryKindRuns ? UnpackRuns(entry.data, entry.packedSize, out, entry.size)
                                                    : LzmaDecodeExact(entry.data, entry.packedSize, out, entry.size);
            if (!good)
                return PieceResult::Damaged;
        }
        reader.wholeBytes = out;
    }
    return FromMemory(reader, reader.wholeBytes, capacity, piece, count);
}
