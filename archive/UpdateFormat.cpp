#include "archive/UpdateFormat.h"

#include "archive/LzmaDecoder.h"

bool NeedsBase(const ArchiveEntry& entry)
{
    return entry.kind == EntryKindPatch && entry.packedSize != entry.size;
}

bool ReadPatchFields(const ArchiveEntry& entry, PatchFields& fields)
{
    if (entry.packedSize < PatchFieldsSize || ReadU32(entry.data) > static_cast<uint32_t>(MaxEntrySize))
        return false;
    fields.baseSize = static_cast<int32_t>(ReadU32(entry.data));
    fields.baseCrc = ReadU32(entry.data + 4);
    fields.fileCrc = ReadU32(entry.data + 8);
    fields.stream = entry.data + PatchFieldsSize;
    fields.streamSize = entry.packedSize - PatchFieldsSize;
    return true;
}

PatchCheck UnpackPatch(const ArchiveEntry& entry, uint8_t* out)
{
    if (Crc32(entry.data, entry.packedSize) != entry.crc)
        return PatchCheck::BadCrc;
    PatchFields fields;
    if (!NeedsBase(entry) || !DeclaredSizeIsPlausible(entry) || !ReadPatchFields(entry, fields))
        return PatchCheck::BadData;
    if (Crc32(out - fields.baseSize, fields.baseSize) != fields.baseCrc)
        return PatchCheck::BaseDiffers;
    if (!LzmaDecodeWithPreset(fields.stream, fields.streamSize, out, entry.size, fields.baseSize) ||
        Crc32(out, entry.size) != fields.fileCrc)
        return PatchCheck::BadData;
    return PatchCheck::Good;
}

bool ReadKeptCrc(const ArchiveEntry& entry, uint32_t& crc)
{
    if (entry.kind != EntryKindKept || entry.packedSize != KeptFieldsSize || entry.size <= KeptFieldsSize ||
        Crc32(entry.data, entry.packedSize) != entry.crc)
        return false;
    crc = ReadU32(entry.data);
    return true;
}

bool FindUpdateRecord(const uint8_t* base, int64_t length, ArchiveEntry& record)
{
    ArchiveWalk walk = StartWalk(base, length);
    while (NextEntry(walk, record))
        if (record.kind == EntryKindUpdate)
            return true;
    return false;
}

void WritePatchFields(uint8_t* out, int32_t baseSize, uint32_t baseCrc, uint32_t fileCrc)
{
    WriteU32(out, static_cast<uint32_t>(baseSize));
    WriteU32(out + 4, baseCrc);
    WriteU32(out + 8, fileCrc);
}
