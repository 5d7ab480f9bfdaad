// Reading an update installer's entries: what each is, what can be checked without its base, and
// the files unpacked against the base.
#ifndef LUMIVO_PACKER_UPDATEENTRIES_H
#define LUMIVO_PACKER_UPDATEENTRIES_H

#include "archive/ArchiveFormat.h"
#include "packer/UpdateBase.h"

#include <stdint.h>
#include <string>
#include <vector>

// "patch" or "kept" for those kinds, else "whole".
const char* EntryRole(const ArchiveEntry& entry);

// The update record's base version and removed files; false when the archive has no such record
// (damaged one: why says so).
struct UpdateRecordText {
    std::u16string baseVersion;
    std::vector<std::u16string> removed;
};
bool ReadUpdateRecord(const uint8_t* archive, int64_t length, UpdateRecordText& record, std::string& why);

// Whether a patch or a kept file is sound as far as it can be told without the base: the CRC of
// its stored bytes, its fields, and for a patch the LZMA stream's header; why says what is wrong.
bool CheckWithoutBase(const ArchiveEntry& entry, const char*& why);

// The file that a patch or a kept entry (not any other) stands for, made from the base's entry of the same
// name (null when the base has none): false, with why, when the base's file is not the one the entry was
// built against or the patch does not give the file's size and CRC-32.
bool UnpackAgainstBase(const ArchiveEntry& entry, const BaseEntry* base, std::vector<uint8_t>& out,
                       const char*& why);

#endif
