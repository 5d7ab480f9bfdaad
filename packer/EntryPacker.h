// Compressing the payload's files into the archive's entries on all cores: each file whole into
// one zlib stream with libdeflate or one LZMA stream with liblzma, or stored raw when that would
// not make it smaller.
#ifndef LUMIVO_PACKER_ENTRYPACKER_H
#define LUMIVO_PACKER_ENTRYPACKER_H

#include "packer/PayloadFiles.h"

#include <functional>
#include <stdint.h>
#include <vector>

class Progress;

// How the entries are compressed: zlib streams (kind 1) or LZMA streams at liblzma's preset 9
// extreme (kind 2).
enum class EntryCodec { Deflate, Lzma };

struct PackedEntry {
    std::vector<uint8_t> data; // the bytes as stored
    uint32_t kind;
    int32_t size;
    uint32_t crc; // of data
};

// The deflate level of a file of size bytes when none is asked for (level 0): near-optimal parsing
// (level 12) for files of 64 KiB and more, where it pays; level 9 for smaller ones, where it costs
// five times as long for about 4 % less.
enum : int { LevelBySize = 0 };
int DeflateLevelFor(int level, uint64_t size);
// Whether bytes (64 KiB or more) look like noise: every byte value about as frequent as any other,
// as in compressed or encrypted data. Deflate gains nothing there but repeats, which its fastest
// level finds about as well as its strongest, in a tenth of the time.
bool LooksIncompressible(const uint8_t* bytes, size_t size);
// Whether every MiB of a file of 1 MiB or more looks incompressible (a shorter end does not count).
bool FileLooksIncompressible(const PayloadFile& file);
// The level for these bytes of a file of fileSize bytes (the whole file, or one slice of it): level 1
// where they look incompressible and the level is chosen by size, else DeflateLevelFor's.
int DeflateLevelForBytes(int level, const uint8_t* bytes, size_t size, uint64_t fileSize);

// One file's bytes stored as they are, in an entry of codec's kind.
PackedEntry StoredEntry(const uint8_t* bytes, size_t size, EntryCodec codec);
// One file's bytes as an entry at a libdeflate level (1 to 12, or LevelBySize; not used by LZMA).
PackedEntry PackBytes(const uint8_t* bytes, size_t size, int level, EntryCodec codec = EntryCodec::Deflate);

// The entry to store for a file instead of the usual one (an update installer's kept files and
// patches): called on the worker that packed the file, with the file's index, its bytes and the
// usual entry (several threads at once).
typedef std::function<PackedEntry(size_t index, const std::vector<uint8_t>& bytes, PackedEntry usual)>
    EntryChooser;
// The bytes of a listed file, read whole; refused as PackFiles refuses a file that cannot be read
// or is no longer the listed file of the listed size.
std::vector<uint8_t> ReadPayloadFile(const PayloadFile& file);

// Every file of the list, in its order, read and packed by jobs threads (largest files first).
// Refuses a file that cannot be read, or that is no longer the listed file of the listed size.
std::vector<PackedEntry> PackFiles(const std::vector<PayloadFile>& files, int level, int jobs,
                                   Progress& progress, EntryCodec codec = EntryCodec::Deflate,
                                   const EntryChooser& choose = nullptr);

#endif
