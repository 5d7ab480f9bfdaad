// The records of an update installer: an installer that installs over one earlier version of the
// program, its base, and carries only what changed. Shared by the installer, the packer and the
// fuzzer, as ArchiveFormat is.
//
// Kind 4, a patch: the file as an LZMA stream whose window starts with the base's bytes of the same
// file (a preset dictionary, archive/LzmaDecoder.h). Data: the base file's size u32 and CRC-32 u32,
// the file's own CRC-32 u32, then the stream, which decodes to size bytes. Its packed size is
// below its size (an equal one would read as raw).
// Kind 5, a kept file: the base's file, unchanged. Data: the file's CRC-32 u32; size is the file's
// size, always more than 4 bytes (smaller files are stored whole).
// Kind 6, the update record, once, under an empty name: UTF-8 text stored raw (packed size equals
// size), lines "key=value": base-version= the version that the update installs over (empty when
// the base names none), removed= the files of the base that this version no longer has,
// separated by "|".
#ifndef LUMIVO_ARCHIVE_UPDATEFORMAT_H
#define LUMIVO_ARCHIVE_UPDATEFORMAT_H

#include "archive/ArchiveFormat.h"

#include <stdint.h>

enum : int32_t { PatchFieldsSize = 12, KeptFieldsSize = 4 };

struct PatchFields {
    int32_t baseSize;
    uint32_t baseCrc;
    uint32_t fileCrc;
    const uint8_t* stream; // the LZMA stream
    int32_t streamSize;
};

// Whether the entry is a patch that needs its base to unpack (one stored raw does not).
bool NeedsBase(const ArchiveEntry& entry);
// The fields of a patch; false when its stored bytes are too short for them or the base size is
// not below 2^31.
bool ReadPatchFields(const ArchiveEntry& entry, PatchFields& fields);

enum class PatchCheck { Good, BadCrc, BadData, BaseDiffers };
// Unpacks a patch into out (entry.size bytes) with the base file's bytes just before out (the
// base size of them, the window's preset): checks the stored bytes' CRC (BadCrc), the base's size
// and CRC against the patch's (BaseDiffers), then the stream and the unpacked file's size and CRC
// (BadData).
PatchCheck UnpackPatch(const ArchiveEntry& entry, uint8_t* out);

// The CRC-32 of a kept file; false unless the entry is one whose stored bytes are intact.
bool ReadKeptCrc(const ArchiveEntry& entry, uint32_t& crc);

// The update record of an archive region, if it has one.
bool FindUpdateRecord(const uint8_t* base, int64_t length, ArchiveEntry& record);

// Encoders for the packer.
void WritePatchFields(uint8_t* out, int32_t baseSize, uint32_t baseCrc, uint32_t fileCrc);

#endif
