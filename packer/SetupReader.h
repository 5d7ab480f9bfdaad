// Finding the archive of a setup program as the installer does: RCDATA resource 103 when it
// exists and is not empty, else the archive behind the trailer.
#ifndef LUMIVO_PACKER_SETUPREADER_H
#define LUMIVO_PACKER_SETUPREADER_H

#include <filesystem>
#include <stdint.h>
#include <vector>

struct SetupArchive {
    std::vector<uint8_t> file;
    size_t offset;
    int64_t length;
    bool inResource;

    const uint8_t* base() const { return file.data() + offset; }
};

// The whole file, read; Fail when it cannot be read or carries no archive.
SetupArchive LoadSetupArchive(const std::filesystem::path& path);
// The same over bytes in memory; false when they carry no archive.
bool FindSetupArchive(SetupArchive& setup);

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

#endif
