// A setup program's image: the installer stub rebuilt with a new resource section (the archive,
// the version information, the icon, and every resource the stub had), the sections before it
// unchanged, the base relocations moved behind it, and the headers made to match.
#ifndef LUMIVO_PACKER_SETUPIMAGE_H
#define LUMIVO_PACKER_SETUPIMAGE_H

#include "packer/OutputBytes.h"
#include "packer/PeImage.h"
#include "packer/PeResources.h"

#include <optional>
#include <stdint.h>
#include <vector>

// Images of this size or more are not loaded by Windows (the limit of Microsoft's own linker).
const uint64_t MaxImageSize = 0x80000000ull;

// PeFormatError when the stub cannot be rebuilt: no resource section, one that other sections
// than the base relocations follow, a directory behind it, a signature or other bytes behind the
// last section.
void CheckRebuildable(const PeLayout& layout, size_t stubSize);

// The resources of the stub, borrowing their bytes from it.
std::vector<ResourceItem> StubResources(const std::vector<uint8_t>& stub, const PeLayout& layout);

struct RebuiltImage {
    OutputBytes bytes;    // the image; a caller may append to it
    uint64_t sizeOfImage; // of the loaded image
    size_t checksumField;
};

// The stub with the resources (borrowed: they must outlive the result) in place of its own, stamped with timeDateStamp when given. The
// checksum is left at zero: StampChecksum sets it once the file is complete. The caller checks
// sizeOfImage against MaxImageSize.
RebuiltImage RebuildImage(const std::vector<uint8_t>& stub, const PeLayout& layout,
                          const std::vector<ResourceItem>& resources, std::optional<uint32_t> timeDateStamp);

// Computes the checksum over the whole file and writes it into the headers.
void StampChecksum(RebuiltImage& image);

#endif
