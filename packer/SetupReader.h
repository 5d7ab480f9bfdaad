// Finding the archive of a setup program as the installer does: RCDATA resource 103 when it
// exists and is not empty, else the archive behind the trailer.
#ifndef LUMIVO_PACKER_SETUPREADER_H
#define LUMIVO_PACKER_SETUPREADER_H

#include "archive/ProgramCode.h"

#include <filesystem>
#include <stdint.h>
#include <vector>

struct SetupArchive {
    std::vector<uint8_t> file;
    size_t offset;
    int64_t length;
    bool inResource;

    const uint8_t* base() const { return file.data() + offset; }
    // The program's code, which its blocks of kind 8 start from (none when it has none).
    ProgramCode code() const;

private:
    mutable std::vector<uint8_t> codeBytes; // made when first asked for
};

// The whole file, read; Fail when it cannot be read or carries no archive.
SetupArchive LoadSetupArchive(const std::filesystem::path& path);
// The same over bytes in memory; false when they carry no archive.
bool FindSetupArchive(SetupArchive& setup);

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// The code of a program file's bytes (a stub or a setup program), which its blocks of kind 8 start
// from; empty when it has none.
std::vector<uint8_t> ProgramCodeOf(const std::vector<uint8_t>& file);

#endif
