#include "archive/ArchiveFormat.h"

#include "archive/LzmaDecoder.h"

#include <string.h>
#include <zlib.h>

uint32_t ReadU32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t ReadU64(const uint8_t* bytes)
{
    return static_cast<uint64_t>(ReadU32(bytes)) | static_cast<uint64_t>(ReadU32(bytes + 4)) << 32;
}

void WriteU32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

void WriteU64(uint8_t* bytes, uint64_t value)
{
    WriteU32(bytes, static_cast<uint32_t>(value));
    WriteU32(bytes + 4, static_cast<uint32_t>(value >> 32));
}

ArchiveWalk StartWalk(const uint8_t* base, int64_t length)
{
    ArchiveWalk walk;
    walk.base = base;
    walk.length = base && length > 0 ? length : 0;
    walk.offset = 0;
    return walk;
}

// A u32 field that must be used as a signed 32-bit value.
static bool ReadSigned(const uint8_t* bytes, int32_t& value)
{
    uint32_t raw = ReadU32(bytes);
    if (raw > static_cast<uint32_t>(MaxEntrySize))
        return false;
    value = static_cast<int32_t>(raw);
    return true;
}

bool NextEntry(ArchiveWalk& walk, ArchiveEntry& entry)
{
    int64_t left = walk.length - walk.offset;
    if (left < RecordHeaderSize)
        return false;
    const uint8_t* record = walk.base + walk.offset;
    entry.kind = ReadU32(record);
    if (entry.kind == EndRecordKind)
        return false;
    if (!ReadSigned(record + 4, entry.packedSize) || !ReadSigned(record + 8, entry.size) ||
        !ReadSigned(record + 24, entry.nameLength))
        return false;
    int64_t total = RecordHeaderSize + 2 * static_cast<int64_t>(entry.nameLength) + entry.packedSize;
    if (total > left)
        return false;
    entry.crc = ReadU32(record + 12);
    entry.time = ReadU64(record + 16);
    entry.record = record;
    entry.name = record + RecordHeaderSize;
    entry.data = entry.name + 2 * static_cast<int64_t>(entry.nameLength);
    walk.offset += total;
    return true;
}

bool WalkReachedEndRecord(const ArchiveWalk& walk)
{
    return walk.length - walk.offset >= RecordHeaderSize && ReadU32(walk.base + walk.offset) == EndRecordKind;
}

uint16_t EntryNameUnit(const ArchiveEntry& entry, int32_t index)
{
    return static_cast<uint16_t>(entry.name[2 * index] | entry.name[2 * index + 1] << 8);
}

bool UnpackRuns(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size)
{
    int64_t i = 0, o = 0;
    while (i < packedSize && o < size) {
        uint8_t control = packed[i++];
        int64_t n = control & 0x7F;
        if (o + n > size)
            return false;
        if (!(control & 0x80)) {
            if (i + n > packedSize)
                return false;
            memcpy(out + o, packed + i, static_cast<size_t>(n));
            i += n;
        } else {
            if (i + 2 > packedSize)
                return false;
            int64_t distance = packed[i] | packed[i + 1] << 8;
            i += 2;
            if (distance > o || distance < n)
                return false;
            memcpy(out + o, out + o - distance, static_cast<size_t>(n));
        }
        o += n;
    }
    return o == size;
}

bool InflateExact(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size)
{
    // zlib refuses null buffers even when they are empty.
    uint8_t none = 0;
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    stream.next_in = const_cast<Bytef*>(packedSize > 0 ? packed : &none);
    stream.avail_in = static_cast<uInt>(packedSize);
    stream.next_out = size > 0 ? out : &none;
    stream.avail_out = static_cast<uInt>(size);
    if (inflateInit2(&stream, 47) != Z_OK) {
        inflateEnd(&stream);
        return false;
    }
    int result = inflate(&stream, Z_FINISH);
    bool good = result == Z_STREAM_END && stream.total_out == static_cast<uLong>(size);
    inflateEnd(&stream);
    return good;
}

int64_t MaxUnpackedSize(uint32_t kind, int32_t packedSize)
{
    int64_t packed = packedSize > 0 ? packedSize : 0;
    switch (kind) {
    case EntryKindRuns:
        return (packed / 3 + 1) * 127;
    case EntryKindZlib:
        return packed * 1032;
    case EntryKindLzma:
    case EntryKindPatch:
    case EntryKindSolid:
    case EntryKindSolidOnProgram:
        return packed * 10000;
    default:
        return 0;
    }
}

bool IsSolidKind(uint32_t kind)
{
    return kind == EntryKindSolid || kind == EntryKindSolidOnProgram;
}

bool DeclaredSizeIsPlausible(const ArchiveEntry& entry)
{
    return entry.size == entry.packedSize || entry.size <= MaxUnpackedSize(entry.kind, entry.packedSize);
}

EntryCheck UnpackEntry(const ArchiveEntry& entry, uint8_t* out)
{
    if (Crc32(entry.data, entry.packedSize) != entry.crc)
        return EntryCheck::BadCrc;
    if (!DeclaredSizeIsPlausible(entry) || IsSolidKind(entry.kind))
        return EntryCheck::BadData;
    bool good;
    if (entry.packedSize == entry.size) {
        if (entry.size > 0)
            memcpy(out, entry.data, static_cast<size_t>(entry.size));
        good = true;
    } else if (entry.kind == EntryKindRuns) {
        good = UnpackRuns(entry.data, entry.packedSize, out, entry.size);
    } else if (entry.kind == EntryKindZlib) {
        good = InflateExact(entry.data, entry.packedSize, out, entry.size);
    } else if (entry.kind == EntryKindLzma) {
        good = LzmaDecodeExact(entry.data, entry.packedSize, out, entry.size);
    } else {
        good = false;
    }
    return good ? EntryCheck::Good : EntryCheck::BadData;
}

ArchiveTrailer ReadTrailer(const uint8_t* bytes)
{
    ArchiveTrailer trailer;
    trailer.magic = ReadU32(bytes);
    trailer.offset = ReadU32(bytes + 4);
    trailer.length = ReadU32(bytes + 8);
    trailer.trailerOffset = ReadU32(bytes + 12);
    return trailer;
}

int64_t CertificateTableStart(const uint8_t* file, int64_t fileSize)
{
    if (!file || fileSize < 0x40 || file[0] != 'M' || file[1] != 'Z')
        return fileSize;
    int64_t pe = ReadU32(file + 0x3C);
    if (pe + 24 + 2 > fileSize || ReadU32(file + pe) != 0x00004550) // "PE\0\0"
        return fileSize;
    int64_t optional = pe + 24, optionalSize = file[pe + 20] | file[pe + 21] << 8;
    uint16_t magic = static_cast<uint16_t>(file[optional] | file[optional + 1] << 8);
    int64_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : -1;
    const int64_t security = 4;
    if (directories < 0 || optionalSize < directories + 8 * (security + 1) ||
        optional + directories + 8 * (security + 1) > fileSize ||
        ReadU32(file + optional + directories - 4) <= security)
        return fileSize;
    int64_t start = ReadU32(file + optional + directories + 8 * security);
    int64_t size = ReadU32(file + optional + directories + 8 * security + 4);
    if (size == 0 || start <= TrailerSize || start + size > fileSize)
        return fileSize;
    return start;
}

// The trailer whose last byte is just before end, when it is one and names its own position.
static bool TrailerAt(const uint8_t* file, int64_t end, int64_t& offset, int64_t& length)
{
    if (end <= TrailerSize)
        return false;
    int64_t trailerStart = end - TrailerSize;
    ArchiveTrailer trailer = ReadTrailer(file + trailerStart);
    if (trailer.magic != TrailerMagic || trailer.trailerOffset != trailerStart)
        return false;
    // 64-bit sums: a region near the top of the 32-bit range must not wrap around.
    if (trailer.length > static_cast<uint32_t>(MaxEntrySize) ||
        static_cast<int64_t>(trailer.offset) + trailer.length > trailerStart)
        return false;
    offset = trailer.offset;
    length = trailer.length;
    return true;
}

bool FindAppendedArchive(const uint8_t* file, int64_t fileSize, int64_t& offset, int64_t& length)
{
    if (!file || fileSize <= TrailerSize)
        return false;
    int64_t end = CertificateTableStart(file, fileSize);
    if (TrailerAt(file, end, offset, length))
        return true;
    // A signing tool pads the program to an 8-byte boundary before the certificate table.
    for (int64_t padding = 1; end < fileSize && padding < 8 && file[end - padding] == 0; padding++)
        if (TrailerAt(file, end - padding, offset, length))
            return true;
    return false;
}

void WriteRecordHeader(uint8_t* out, uint32_t kind, int32_t packedSize, int32_t size, uint32_t crc,
                       uint64_t time, int32_t nameLength)
{
    WriteU32(out, kind);
    WriteU32(out + 4, static_cast<uint32_t>(packedSize));
    WriteU32(out + 8, static_cast<uint32_t>(size));
    WriteU32(out + 12, crc);
    WriteU64(out + 16, time);
    WriteU32(out + 24, static_cast<uint32_t>(nameLength));
}

void WriteEndRecord(uint8_t* out)
{
    memset(out, 0, RecordHeaderSize);
    WriteU32(out, EndRecordKind);
}

void WriteTrailer(uint8_t* out, const ArchiveTrailer& trailer)
{
    WriteU32(out, trailer.magic);
    WriteU32(out + 4, trailer.offset);
    WriteU32(out + 8, trailer.length);
    WriteU32(out + 12, trailer.trailerOffset);
}
