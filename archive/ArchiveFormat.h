// The byte format of the payload archive, shared by the Windows reader, the Linux packer and the
// fuzzer: record headers, the end record, the trailer of an appended archive, CRC-32, run
// unpacking, the bounded walk over the records, and inflating or LZMA decoding into a buffer of
// exact size.
// Plain pointers and lengths only, no Windows and no standard library, so that every user
// compiles the very same rules.
//
// A record: kind u32, packed size u32, size u32, crc u32 (of the stored bytes), time u64
// (FILETIME), name length u32 (UTF-16 units), the name in UTF-16LE, then packed size data bytes.
// All integers little-endian, no padding. Sizes and the name length are below 2^31.
#ifndef LUMIVO_ARCHIVE_ARCHIVEFORMAT_H
#define LUMIVO_ARCHIVE_ARCHIVEFORMAT_H

#include <stdint.h>

enum : uint32_t {
    EntryKindRuns = 0,
    EntryKindZlib = 1,
    EntryKindLzma = 2,
    EntryKindSolid = 3, // several files in one LZMA stream (archive/SolidBlock.h)
    // Kinds of an update installer, which installs over one earlier version, its base
    // (archive/UpdateFormat.h): a file as a patch to the base's file, a file kept as the base has
    // it, and the record that names the base's version and the files it no longer has.
    EntryKindPatch = 4,
    EntryKindKept = 5,
    EntryKindUpdate = 6,
    // A solid block whose stream starts as if the setup program's code came just before it
    // (archive/ProgramCode.h).
    EntryKindSolidOnProgram = 8,
    EndRecordKind = 0xE1D2C3B4,
    TrailerMagic = 0x5C9F3A6E,
};

enum : int32_t {
    RecordHeaderSize = 28,
    TrailerSize = 16,
    MaxEntrySize = 0x7FFFFFFF, // sizes, name lengths and the archive length are signed 32-bit
};

// One record, decoded in place: the name and data point into the archive (no alignment).
struct ArchiveEntry {
    uint32_t kind;
    int32_t packedSize;
    int32_t size;
    uint32_t crc;
    uint64_t time;         // FILETIME: 100 ns units since 1 January 1601 UTC
    int32_t nameLength;    // UTF-16 units
    const uint8_t* name;   // 2 * nameLength bytes of UTF-16LE
    const uint8_t* data;   // packedSize bytes
    const uint8_t* record; // the record's first byte
};

// The last 16 bytes of a program file that carries its archive behind its image.
struct ArchiveTrailer {
    uint32_t magic;
    uint32_t offset;        // first record, from the start of the file
    uint32_t length;        // archive bytes up to and including the end record
    uint32_t trailerOffset; // the file size minus 16
};

uint32_t ReadU32(const uint8_t* bytes);
uint64_t ReadU64(const uint8_t* bytes);
void WriteU32(uint8_t* bytes, uint32_t value);
void WriteU64(uint8_t* bytes, uint64_t value);

// The standard reflected CRC-32 (polynomial 0xEDB88320), the value zlib's crc32 gives.
// Crc32Update continues a running value: Crc32Update(0, ...) equals Crc32(...).
uint32_t Crc32(const uint8_t* data, int64_t length);
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, int64_t length);

// A walk over the records of an archive region of length bytes.
struct ArchiveWalk {
    const uint8_t* base;
    int64_t length;
    int64_t offset; // of the next record
};
ArchiveWalk StartWalk(const uint8_t* base, int64_t length);
// The record at the walk's offset, then moves past it. False at the end record, at the end of the
// region, and at a record that is damaged beyond reading: one whose header or data would pass the
// end of the region, or whose sizes or name length are not below 2^31.
bool NextEntry(ArchiveWalk& walk, ArchiveEntry& entry);

// Whether a walk that NextEntry ended stopped at an end record, rather than at the end of the
// region or at a damaged record.
bool WalkReachedEndRecord(const ArchiveWalk& walk);

// UTF-16 unit index of an entry's name.
uint16_t EntryNameUnit(const ArchiveEntry& entry, int32_t index);

// Kind 0 data: control bytes whose low seven bits are a count n; bit 7 clear copies n literal
// bytes, bit 7 set copies n bytes from a 16-bit little-endian distance back in the output (never
// overlapping what it produces). True when every run is valid and exactly size bytes came out.
bool UnpackRuns(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size);

// Kind 1 data: one complete zlib stream (or a gzip-wrapped one) inflated in one call into exactly
// size bytes. True when the stream ends and produced exactly size bytes; bytes after its end are
// ignored.
bool InflateExact(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size);

// Kind 2 data is one LZMA stream (archive/LzmaDecoder.h) that decodes to exactly size bytes.
// Kind 3 data is one LZMA stream too, holding a solid block of several files; it is read through a
// cursor (archive/SolidBlock.h), never as one entry.

// The most bytes that packedSize stored bytes of a kind can unpack to: a kind-0 run of three
// bytes gives at most 127, a deflate stream at most 1032 bytes per byte (two bits for each
// 258-byte match); LZMA gets 10,000 per byte (solid blocks too), and so does a patch, which is LZMA
// too. An unknown kind, and a kept file, unpack nothing.
int64_t MaxUnpackedSize(uint32_t kind, int32_t packedSize);
// Whether the entry's declared size is one that its stored bytes can give (any size when they are
// stored raw). Readers check this before they allocate memory for the entry.
bool DeclaredSizeIsPlausible(const ArchiveEntry& entry);
// Whether records of the kind are solid blocks (kinds 3 and 8).
bool IsSolidKind(uint32_t kind);

enum class EntryCheck { Good, BadCrc, BadData };
// Checks the stored bytes' CRC and unpacks the entry into out (entry.size bytes): a copy when
// packed size equals size (raw, whatever the kind), else by kind. An unknown kind, a solid block
// (which is never one file, nor raw), or a declared size that the stored bytes cannot give, is
// BadData.
EntryCheck UnpackEntry(const ArchiveEntry& entry, uint8_t* out);

// The archive region named by the trailer at the end of a file of fileSize bytes. False unless
// the file is longer than 16 bytes, the magic and the trailer's own offset are right, and the
// region lies inside the file before the trailer with a length below 2^31. In a signed program
// the trailer ends where the certificate table begins, or up to 7 zero bytes before it (the
// table starts on an 8-byte boundary); the table is never taken for archive data.
bool FindAppendedArchive(const uint8_t* file, int64_t fileSize, int64_t& offset, int64_t& length);

// Where the Authenticode certificate table named by a PE file's security directory begins, or
// fileSize when the file has none (or names one that does not lie inside the file).
int64_t CertificateTableStart(const uint8_t* file, int64_t fileSize);

// Encoders for the packer (the reader never writes).
void WriteRecordHeader(uint8_t* out, uint32_t kind, int32_t packedSize, int32_t size, uint32_t crc,
                       uint64_t time, int32_t nameLength);
void WriteEndRecord(uint8_t* out); // RecordHeaderSize bytes
void WriteTrailer(uint8_t* out, const ArchiveTrailer& trailer);
ArchiveTrailer ReadTrailer(const uint8_t* bytes);

#endif
