// Building an update installer: the entries of an application folder chosen against a base setup
// program. A file whose bytes equal the base's is kept (only its size and CRC-32 are stored), a
// changed one is stored as a patch to the base's bytes when that is smaller than the usual entry,
// anything else as usual; the base's files that the folder no longer has are listed as removed.
#ifndef LUMIVO_PACKER_UPDATEBUILD_H
#define LUMIVO_PACKER_UPDATEBUILD_H

#include "packer/EntryPacker.h"
#include "packer/PayloadFiles.h"
#include "packer/ScriptKeys.h"
#include "packer/UpdateBase.h"

#include <atomic>
#include <stdint.h>
#include <string>
#include <vector>

struct UpdateBuild {
    const UpdateBase* base;
    std::vector<const BaseEntry*> baseOf; // by file index: the base's entry of that name, or null
    std::vector<bool> storedWhole;       // by file index: read by the installer itself, never kept or patched
    std::vector<uint64_t> usualSizes;    // by file index: the usual entry's size (the full installer's)
    std::vector<std::u16string> removed; // the base's names that the files lack, in the base's order
    std::atomic<size_t> kept {0}, patched {0};
};

// Matches the files with the base's entries. Refuses a base of another program (its name differs
// from script's).
void PlanUpdateBuild(UpdateBuild& build, const UpdateBase& base, const std::vector<PayloadFile>& files,
                     const ScriptKeys& script);

// The chooser for PackFiles that makes kept files and patches (build must outlive its use).
EntryChooser UpdateChooser(UpdateBuild& build);

// The archive length of the full installer: every file with its usual entry.
uint64_t FullArchiveLength(const UpdateBuild& build, const std::vector<PayloadFile>& files);

// Puts the update record (the base's version and the removed files) first among the entries.
void AddUpdateRecord(const UpdateBuild& build, std::vector<PayloadFile>& files,
                     std::vector<PackedEntry>& entries, uint64_t time);

// A kept file's entry and a patch's entry (patch: the LZMA stream with the base as its preset).
PackedEntry KeptEntry(const std::vector<uint8_t>& bytes);
PackedEntry PatchEntry(const BaseEntry& base, const std::vector<uint8_t>& bytes,
                       const std::vector<uint8_t>& stream);

#endif
