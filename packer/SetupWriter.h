// Writing a setup program: the stub's image rebuilt with the archive as its resource 103 (or,
// with the appended layout, the archive and its trailer behind the image), through a temporary
// file that is renamed only when it is complete.
#ifndef LUMIVO_PACKER_SETUPWRITER_H
#define LUMIVO_PACKER_SETUPWRITER_H

#include "packer/EntryPacker.h"
#include "packer/OutputBytes.h"
#include "packer/PayloadFiles.h"
#include "packer/PeResources.h"
#include "packer/SetupImage.h"

#include <filesystem>
#include <optional>
#include <stdint.h>
#include <vector>

// Bytes of the archive of these entries, end record included.
uint64_t ArchiveLength(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries);

// The archive's records and end record; the entries' data is borrowed, not copied.
OutputBytes ArchiveBytes(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries);

// Refuses an archive whose length or position does not fit the trailer's 32-bit fields and the
// installer's signed 32-bit length, naming the output.
void CheckArchiveFits(const std::filesystem::path& output, uint64_t stubSize, uint64_t archiveLength);

struct SetupParts {
    const std::vector<uint8_t>* stub;
    std::vector<ResourceItem> resources; // the stub's, with the version information and icon changed
    std::optional<uint32_t> timeDateStamp;
    bool appended = false; // the archive behind the image instead of in resource 103
    uint64_t imageLimit = MaxImageSize; // images of this size or more are not loaded (MaxImageSize; tests lower it)
};

// Writes output + a temporary suffix, then renames it to output. On any failure the temporary
// file is removed and an existing output stays as it was. An archive too large for a loadable
// image is appended instead (said on stderr). Returns whether the archive was appended.
bool WriteSetup(const std::filesystem::path& output, SetupParts& parts, const std::vector<PayloadFile>& files,
                const std::vector<PackedEntry>& entries);

// The size of the setup program that WriteSetup would write for an archive of archiveLength bytes.
uint64_t SetupSize(const std::filesystem::path& output, SetupParts& parts, uint64_t archiveLength);

#endif
