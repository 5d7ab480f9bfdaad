// The setup program that an update installer is built against and installs over, its base:
// read as the installer reads an archive, every entry unpacked and found by its name.
#ifndef LUMIVO_PACKER_UPDATEBASE_H
#define LUMIVO_PACKER_UPDATEBASE_H

#include "packer/ScriptKeys.h"

#include <filesystem>
#include <map>
#include <stdint.h>
#include <string>
#include <vector>

struct BaseEntry {
    std::u16string name; // as the base stores it
    std::vector<uint8_t> bytes;
    uint32_t crc; // of bytes
};

struct UpdateBase {
    std::filesystem::path path;
    std::vector<BaseEntry> entries; // archive order; of names equal without regard to case, the first
    std::map<std::u16string, size_t> byFoldedName; // into entries
    ScriptKeys script;                             // the base's install.script

    // The base's file of that name (compared without regard to case), or null.
    const BaseEntry* find(const std::u16string& name) const;
    std::u16string programName() const; // as the installer takes it: nazwa, else name
    std::u16string version() const;
};

// Reads the setup program at path (resource 103 or appended, signed or not) and unpacks every
// entry. Refuses, naming the file, one that cannot be read or carries no archive, one whose
// archive is damaged, and an update installer (its kept files and patches are no files to build
// against: give the full installer of that version).
UpdateBase LoadUpdateBase(const std::filesystem::path& path);

#endif
