#include "packer/StubDebugInfo.h"

#include "archive/ArchiveFormat.h"
#include "packer/OutputBytes.h"
#include "packer/PeImage.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

const uint32_t Discardable = 0x02000000;     // IMAGE_SCN_MEM_DISCARDABLE
const uint32_t InitializedData = 0x00000040; // IMAGE_SCN_CNT_INITIALIZED_DATA

// The section's name; a long one ("/4") is read from the string table at strings.
std::string FullName(const std::vector<uint8_t>& stub, const PeSection& section, uint64_t strings)
{
    if (!strings || section.name.size() < 2 || section.name[0] != '/')
        return section.name;
    uint64_t at = strings + std::strtoull(section.name.c_str() + 1, nullptr, 10);
    std::string name;
    for (; at < stub.size() && stub[at] && name.size() < 256; at++)
        name += static_cast<char>(stub[at]);
    return name;
}

// A section for debuggers: named .debug_* (or .zdebug_*), discardable, behind the resources, not
// the base relocations, and no directory points into it.
bool IsDebugSection(const PeLayout& layout, size_t index, int resources, const std::string& name)
{
    const PeSection& section = layout.sections[index];
    if (static_cast<int>(index) <= resources || !(section.characteristics & Discardable) ||
        section.virtualAddress == layout.directory(DirectoryRelocations).address ||
        (name.rfind(".debug", 0) != 0 && name.rfind(".zdebug", 0) != 0))
        return false;
    for (uint32_t d = 0; d < layout.directories.size(); d++) {
        const PeDirectory& directory = layout.directories[d];
        if (d != DirectoryCertificates && directory.size && directory.address >= section.virtualAddress &&
            directory.address - section.virtualAddress < section.mappedSize())
            return false;
    }
    return true;
}

// Whether the byte ranges cover [from, to) without a gap, zero bytes between them aside.
bool Covered(const std::vector<uint8_t>& bytes, uint64_t from, uint64_t to,
             std::vector<std::pair<uint64_t, uint64_t>> ranges)
{
    std::sort(ranges.begin(), ranges.end());
    for (const auto& range : ranges) {
        for (; from < std::min(range.first, to); from++)
            if (bytes[from])
                return false;
        from = std::max(from, range.second);
    }
    for (; from < to; from++)
        if (bytes[from])
            return false;
    return true;
}

} // namespace

std::vector<uint8_t> WithoutDebugInfo(std::vector<uint8_t> stub)
{
    PeLayout layout = ReadPeLayout(stub.data(), stub.size());
    PeDirectory resourceDirectory = layout.directory(DirectoryResources);
    int resources = resourceDirectory.address ? layout.sectionOf(resourceDirectory.address) : -1;
    if (resources < 0)
        return stub;

    // The symbol table and the string table that follows it (its first 4 bytes give its length).
    uint64_t symbols = ReadU32(stub.data() + layout.fileHeader + 8);
    uint64_t symbolsEnd = symbols, strings = 0;
    if (symbols) {
        strings = symbols + 18ull * ReadU32(stub.data() + layout.fileHeader + 12);
        if (strings + 4 > stub.size())
            return stub;
        symbolsEnd = strings + ReadU32(stub.data() + strings);
        if (symbolsEnd > stub.size())
            return stub;
    }

    std::vector<size_t> kept;
    std::vector<std::pair<uint64_t, uint64_t>> dropped; // file ranges
    uint64_t keptEnd = layout.sizeOfHeaders;
    uint32_t droppedInitialized = 0;
    for (size_t i = 0; i < layout.sections.size(); i++) {
        const PeSection& section = layout.sections[i];
        if (IsDebugSection(layout, i, resources, FullName(stub, section, strings))) {
            dropped.emplace_back(section.rawOffset, uint64_t(section.rawOffset) + section.rawSize);
            if (section.characteristics & InitializedData)
                droppedInitialized += section.rawSize;
            continue;
        }
        // A long name lives in the string table, which goes.
        if (symbols && section.name.size() > 1 && section.name[0] == '/')
            return stub;
        kept.push_back(i);
        if (section.rawSize)
            keptEnd = std::max<uint64_t>(keptEnd, uint64_t(section.rawOffset) + section.rawSize);
    }
    if (kept.size() == layout.sections.size() && !symbols)
        return stub;
    if (symbols)
        dropped.emplace_back(symbols, symbolsEnd);
    if (!Covered(stub, keptEnd, stub.size(), dropped))
        return stub; // something else lies behind the image

    std::vector<uint8_t> stripped(stub.begin(), stub.begin() + static_cast<ptrdiff_t>(keptEnd));
    uint8_t* header = stripped.data() + layout.fileHeader;
    header[2] = static_cast<uint8_t>(kept.size());
    header[3] = static_cast<uint8_t>(kept.size() >> 8);
    WriteU32(header + 8, 0);  // no symbol table
    WriteU32(header + 12, 0); // no symbols
    size_t table = layout.sections[0].header;
    for (size_t k = 0; k < kept.size(); k++)
        std::copy_n(stub.begin() + static_cast<ptrdiff_t>(layout.sections[kept[k]].header), 40,
                    stripped.begin() + static_cast<ptrdiff_t>(table + 40 * k));
    std::fill_n(stripped.begin() + static_cast<ptrdiff_t>(table + 40 * kept.size()),
                40 * (layout.sections.size() - kept.size()), 0);
    const PeSection& last = layout.sections[kept.back()];
    uint64_t imageEnd = last.virtualAddress + AlignUp(last.mappedSize(), layout.sectionAlignment);
    WriteU32(stripped.data() + layout.sizeOfImageField(), static_cast<uint32_t>(imageEnd));
    uint8_t* initialized = stripped.data() + layout.sizeOfInitializedDataField();
    WriteU32(initialized, ReadU32(initialized) - std::min(droppedInitialized, ReadU32(initialized)));
    return stripped;
}
