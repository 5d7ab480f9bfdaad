// Fuzz target over the packer's PE reader: on any bytes, reading the layout and the resource
// directory must either succeed or throw PeFormatError, never crash or read outside the input
// (built with AddressSanitizer). An image that is read and can be rebuilt must read back after
// the rebuild with the very same resources.
#include "archive/ArchiveFormat.h"
#include "archive/ProgramCode.h"
#include "packer/PeImage.h"
#include "packer/PeResources.h"
#include "packer/SetupImage.h"

#include <stdint.h>
#include <stdlib.h>
#include <vector>

static void Check(bool condition)
{
    if (!condition)
        abort();
}

static bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size)
{
    for (size_t i = 0; i < size; i++)
        if (a[i] != b[i])
            return false;
    return true;
}

static void RoundTrip(const std::vector<uint8_t>& stub, const PeLayout& layout,
                      const std::vector<ResourceLeaf>& leaves)
{
    uint64_t total = 0;
    for (const ResourceLeaf& leaf : leaves)
        total += leaf.size;
    if (total > (1 << 20))
        return;
    std::vector<ResourceItem> items = StubResources(stub, layout);
    RebuiltImage image;
    try {
        image = RebuildImage(stub, layout, items, 12345);
    } catch (const PeFormatError&) {
        return; // two resources of the same type, name and language
    }
    StampChecksum(image);
    std::vector<uint8_t> rebuilt = image.bytes.joined();
    PeLayout again = ReadPeLayout(rebuilt.data(), rebuilt.size()); // throws (and so fails) if broken
    std::vector<ResourceLeaf> read = ReadResources(rebuilt.data(), rebuilt.size(), again);
    Check(read.size() == leaves.size());
    for (const ResourceLeaf& leaf : read) {
        bool found = false;
        for (const ResourceLeaf& old : leaves)
            if (old.type == leaf.type && old.name == leaf.name && old.language == leaf.language) {
                Check(!found && old.size == leaf.size && old.codePage == leaf.codePage);
                Check(SameBytes(stub.data() + old.offset, rebuilt.data() + leaf.offset, leaf.size));
                found = true;
            }
        Check(found);
    }
    PeChecksum checksum{again.checksumField()};
    checksum.add(rebuilt.data(), rebuilt.size());
    Check(checksum.result() == again.checksum);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    size_t offset = 0, length = 0;
    if (FindPeResource(bytes.data(), bytes.size(), ResourceTypeRcData, ArchiveResourceId, offset, length))
        Check(offset + length <= size);
    int64_t certificates = CertificateTableStart(bytes.data(), static_cast<int64_t>(size));
    Check(certificates >= 0 && certificates <= static_cast<int64_t>(size));
    // The program code, read as a file's bytes and as a mapped image: never outside them.
    for (bool mapped : {false, true}) {
        ProgramImage image = {bytes.data(), static_cast<int64_t>(size), mapped};
        int32_t codeLength = ProgramCodeLength(image);
        Check(codeLength >= 0 && codeLength <= MaxProgramCode);
        std::vector<uint8_t> code(static_cast<size_t>(codeLength));
        if (codeLength > 0)
            CopyProgramCode(image, code.data());
    }
    int64_t archiveOffset = 0, archiveLength = 0;
    if (FindAppendedArchive(bytes.data(), static_cast<int64_t>(size), archiveOffset, archiveLength))
        Check(archiveOffset + archiveLength + TrailerSize <= certificates);
    try {
        PeLayout layout = ReadPeLayout(bytes.data(), bytes.size());
        std::vector<ResourceLeaf> leaves = ReadResources(bytes.data(), bytes.size(), layout);
        for (const ResourceLeaf& leaf : leaves)
            Check(leaf.offset + leaf.size <= size);
        try {
            CheckRebuildable(layout, bytes.size());
        } catch (const PeFormatError&) {
            return 0;
        }
        RoundTrip(bytes, layout, leaves);
    } catch (const PeFormatError&) {
    }
    return 0;
}
