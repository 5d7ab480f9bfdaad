#include "archive/ProgramCode.h"

#include "archive/ArchiveFormat.h"

#include <string.h>

namespace {

enum : uint32_t {
    SectionWritable = 0x80000000,
    RelocationHighLow = 3, // 4 bytes
    RelocationDir64 = 10,  // 8 bytes
};

struct Section {
    uint32_t address, size, at; // at: where it lies in the code
};

// What the headers say, checked against the image's length.
struct Layout {
    Section taken[16]; // the read-only sections before the resources, in table order
    int32_t takenCount;
    int64_t codeLength;
    uint32_t relocations, relocationsSize; // the base relocation table (an address)
    int64_t limit;                         // bytes of the image that may be read
    const uint8_t* sectionTable;
    int64_t sectionCount;
};

uint16_t ReadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// Where size bytes at address lie in the image, or null.
const uint8_t* At(const ProgramImage& image, const Layout& layout, uint32_t address, uint32_t size)
{
    if (image.mapped)
        return int64_t(address) + size <= layout.limit ? image.bytes + address : nullptr;
    for (int64_t i = 0; i < layout.sectionCount; i++) {
        const uint8_t* section = layout.sectionTable + 40 * i;
        uint32_t start = ReadU32(section + 12), rawSize = ReadU32(section + 16), rawOffset = ReadU32(section + 20);
        if (address >= start && int64_t(address) - start + size <= rawSize)
            return int64_t(rawOffset) + (address - start) + size <= layout.limit
                       ? image.bytes + rawOffset + (address - start)
                       : nullptr;
    }
    return nullptr;
}

bool ReadLayout(const ProgramImage& image, Layout& layout)
{
    const uint8_t* head = image.bytes;
    int64_t headLength = image.length < 4096 ? image.length : 4096;
    if (!head || headLength < 64 || head[0] != 'M' || head[1] != 'Z')
        return false;
    int64_t pe = ReadU32(head + 0x3C);
    if (pe > headLength - 24 - 2 || ReadU32(head + pe) != 0x00004550) // "PE\0\0"
        return false;
    int64_t sectionCount = ReadU16(head + pe + 6), optionalSize = ReadU16(head + pe + 20);
    int64_t optional = pe + 24, sections = optional + optionalSize;
    uint16_t magic = ReadU16(head + optional);
    if (magic != 0x20B && magic != 0x10B)
        return false;
    int64_t directories = optional + (magic == 0x20B ? 112 : 96);
    // The directories up to the relocations' (index 5) inside the optional header, the sections
    // inside the first 4 KB.
    if (directories + 6 * 8 > sections || sections + 40 * sectionCount > headLength)
        return false;
    // A mapped image holds SizeOfImage bytes, whatever length the caller knows.
    layout.limit = image.mapped && ReadU32(head + optional + 56) < image.length ? ReadU32(head + optional + 56)
                                                                                 : image.length;
    uint32_t resources = ReadU32(head + directories + 2 * 8);
    layout.relocations = ReadU32(head + directories + 5 * 8);
    layout.relocationsSize = ReadU32(head + directories + 5 * 8 + 4);
    layout.sectionTable = head + sections;
    layout.sectionCount = sectionCount;
    layout.takenCount = 0;
    layout.codeLength = 0;
    for (int64_t i = 0; i < sectionCount; i++) {
        const uint8_t* section = head + sections + 40 * i;
        uint32_t virtualSize = ReadU32(section + 8), address = ReadU32(section + 12);
        uint32_t rawSize = ReadU32(section + 16), characteristics = ReadU32(section + 36);
        uint32_t mapped = virtualSize > rawSize ? virtualSize : rawSize;
        if (resources != 0 && resources >= address && resources - address < mapped)
            return layout.takenCount > 0 && layout.codeLength <= MaxProgramCode; // what follows is rebuilt
        uint32_t size = virtualSize && virtualSize < rawSize ? virtualSize : rawSize;
        if ((characteristics & SectionWritable) || size == 0)
            continue;
        if (layout.takenCount == 16 || !At(image, layout, address, size))
            return false;
        layout.taken[layout.takenCount++] = Section{address, size, 0};
        layout.codeLength += size;
    }
    return false; // no resources
}

} // namespace

int32_t ProgramCodeLength(const ProgramImage& image)
{
    Layout layout;
    return ReadLayout(image, layout) ? static_cast<int32_t>(layout.codeLength) : 0;
}

void CopyProgramCode(const ProgramImage& image, uint8_t* out)
{
    Layout layout;
    if (!ReadLayout(image, layout))
        return;
    int64_t at = 0;
    for (int32_t i = 0; i < layout.takenCount; i++) {
        Section& section = layout.taken[i];
        memcpy(out + at, At(image, layout, section.address, section.size), section.size);
        section.at = static_cast<uint32_t>(at);
        at += section.size;
    }
    // Zero where the loader writes the image's own address: blocks of a page's relocations.
    const uint8_t* table = layout.relocationsSize ? At(image, layout, layout.relocations, layout.relocationsSize) : nullptr;
    for (uint32_t done = 0; table && done + 8 <= layout.relocationsSize;) {
        uint32_t page = ReadU32(table + done), blockSize = ReadU32(table + done + 4);
        if (blockSize < 8 || blockSize > layout.relocationsSize - done)
            break;
        for (uint32_t entry = done + 8; entry + 2 <= done + blockSize; entry += 2) {
            uint16_t value = ReadU16(table + entry);
            uint32_t type = value >> 12, width = type == RelocationDir64 ? 8 : type == RelocationHighLow ? 4 : 0;
            uint64_t site = uint64_t(page) + (value & 0xFFF);
            for (int32_t i = 0; i < layout.takenCount && width; i++) {
                const Section& section = layout.taken[i];
                for (uint32_t b = 0; b < width; b++)
                    if (site + b >= section.address && site + b < uint64_t(section.address) + section.size)
                        out[section.at + (site + b - section.address)] = 0;
            }
        }
        done += blockSize;
    }
}
