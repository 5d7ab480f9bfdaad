#include "packer/UpdateEntries.h"

#include "archive/LzmaDecoder.h"
#include "archive/UpdateFormat.h"
#include "packer/EntryName.h"
#include "packer/ScriptKeys.h"

#include <algorithm>

const char* EntryRole(const ArchiveEntry& entry)
{
    return NeedsBase(entry) ? "patch" : entry.kind == EntryKindKept ? "kept" : "whole";
}

bool ReadUpdateRecord(const uint8_t* archive, int64_t length, UpdateRecordText& record, std::string& why)
{
    ArchiveEntry entry;
    if (!FindUpdateRecord(archive, length, entry))
        return false;
    if (entry.packedSize != entry.size || Crc32(entry.data, entry.packedSize) != entry.crc) {
        why = "the update record is damaged";
        return true;
    }
    ScriptKeys keys = ParseScriptKeys(std::string(entry.data, entry.data + entry.size));
    record.baseVersion = keys.value(u"base-version");
    std::u16string removed = keys.value(u"removed") + u"|";
    for (size_t start = 0, bar; (bar = removed.find(u'|', start)) != std::u16string::npos; start = bar + 1)
        if (bar > start)
            record.removed.push_back(removed.substr(start, bar - start));
    return true;
}

bool CheckWithoutBase(const ArchiveEntry& entry, const char*& why)
{
    uint32_t crc;
    PatchFields fields;
    if (Crc32(entry.data, entry.packedSize) != entry.crc) {
        why = "the CRC of its stored bytes is wrong";
        return false;
    }
    if (entry.kind == EntryKindKept && !ReadKeptCrc(entry, crc)) {
        why = "a kept file's record is malformed";
        return false;
    }
    if (NeedsBase(entry) && (!ReadPatchFields(entry, fields) || fields.streamSize < LzmaHeaderSize + 5 ||
                             fields.stream[0] >= 9 * 5 * 5 || fields.stream[LzmaHeaderSize] != 0 ||
                             !DeclaredSizeIsPlausible(entry))) {
        why = "a patch's record is malformed";
        return false;
    }
    return true;
}

bool UnpackAgainstBase(const ArchiveEntry& entry, const BaseEntry* base, std::vector<uint8_t>& out,
                       const char*& why)
{
    if (!CheckWithoutBase(entry, why))
        return false;
    if (!base) {
        why = "the base has no file of that name";
        return false;
    }
    if (entry.kind == EntryKindKept) {
        uint32_t crc;
        ReadKeptCrc(entry, crc);
        if (base->bytes.size() != static_cast<size_t>(entry.size) || base->crc != crc) {
            why = "the base's file is not the one it keeps";
            return false;
        }
        out = base->bytes;
        return true;
    }
    PatchFields fields;
    ReadPatchFields(entry, fields);
    if (base->bytes.size() != static_cast<size_t>(fields.baseSize) || base->crc != fields.baseCrc) {
        why = "the base's file is not the one it patches";
        return false;
    }
    // The base in front, as the decoder's window, then the file.
    std::vector<uint8_t> window(base->bytes.size() + static_cast<size_t>(entry.size));
    std::copy(base->bytes.begin(), base->bytes.end(), window.begin());
    uint8_t* file = window.data() + base->bytes.size();
    if (UnpackPatch(entry, file) != PatchCheck::Good) {
        why = "the patch does not give the file's size and CRC";
        return false;
    }
    out.assign(file, file + entry.size);
    return true;
}
