#include "MinimalPe.h"

#include "archive/ArchiveFormat.h"

#include <algorithm>

static void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

static void Section(std::vector<uint8_t>& image, int index, const char* name, uint32_t virtualSize,
                    uint32_t address, uint32_t rawSize, uint32_t rawOffset, uint32_t characteristics)
{
    size_t at = MinimalPeSections + 40 * index;
    std::copy_n(name, std::string(name).size(), image.begin() + at);
    WriteU32(&image[at + 8], virtualSize);
    WriteU32(&image[at + 12], address);
    WriteU32(&image[at + 16], rawSize);
    WriteU32(&image[at + 20], rawOffset);
    WriteU32(&image[at + 36], characteristics);
}

std::vector<uint8_t> MinimalPe(const std::string* resource103)
{
    std::string data = resource103 ? *resource103 : std::string("other resource");
    const size_t pe = MinimalPeHeader, optional = pe + 24, raw = MinimalPeResources;
    const uint32_t resourceSize = static_cast<uint32_t>(0x58 + data.size());
    const uint32_t resourceRaw = (resourceSize + 0x1FF) & ~0x1FFu;
    const uint32_t relocationRaw = static_cast<uint32_t>(raw + resourceRaw);
    const uint32_t relocationRva = 0x2000 + ((resourceSize + 0xFFF) & ~0xFFFu);
    std::vector<uint8_t> image(relocationRaw + 0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteU32(&image[0x3C], pe);
    image[pe] = 'P';
    image[pe + 1] = 'E';
    Put16(image, pe + 4, 0x8664);
    Put16(image, pe + 6, 3);       // sections
    Put16(image, pe + 20, 240);    // optional header size
    Put16(image, pe + 22, 0x22);
    Put16(image, optional, 0x20B); // PE32+
    WriteU32(&image[optional + 8], resourceRaw + 0x200); // initialized data
    WriteU32(&image[optional + 32], 0x1000);             // section alignment
    WriteU32(&image[optional + 36], 0x200);              // file alignment
    WriteU32(&image[optional + 56], relocationRva + 0x1000);
    WriteU32(&image[optional + 60], 0x200); // headers
    WriteU32(&image[optional + 108], 16);
    WriteU32(&image[optional + 112 + 16], 0x2000); // resource directory
    WriteU32(&image[optional + 112 + 20], resourceSize);
    WriteU32(&image[optional + 112 + 40], relocationRva); // base relocations
    WriteU32(&image[optional + 112 + 44], 12);
    Section(image, 0, ".text", 0x10, 0x1000, 0x200, 0x200, 0x60000020);
    Section(image, 1, ".rsrc", resourceSize, 0x2000, resourceRaw, raw, 0xC0000040);
    Section(image, 2, ".reloc", 12, relocationRva, 0x200, relocationRaw, 0x42000040);
    image[0x200] = 0xC3; // ret
    WriteU32(&image[relocationRaw], 0x1000); // one block: page 0x1000, 12 bytes, two entries
    WriteU32(&image[relocationRaw + 4], 12);
    Put16(image, relocationRaw + 8, 0xA008);

    // type 10 -> name 103 (or 104) -> language 1033 -> data entry -> bytes
    uint8_t* table = &image[raw];
    Put16(image, raw + 14, 1);
    WriteU32(table + 16, 10);
    WriteU32(table + 20, 0x80000000u | 0x18);
    Put16(image, raw + 0x18 + 14, 1);
    WriteU32(table + 0x18 + 16, resource103 ? 103 : 104);
    WriteU32(table + 0x18 + 20, 0x80000000u | 0x30);
    Put16(image, raw + 0x30 + 14, 1);
    WriteU32(table + 0x30 + 16, 1033);
    WriteU32(table + 0x30 + 20, 0x48);
    WriteU32(table + 0x48, 0x2000 + 0x58);
    WriteU32(table + 0x4C, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), image.begin() + raw + 0x58);
    return image;
}

std::vector<uint8_t> WithDebugInfo(const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> unstripped = image;
    const size_t pe = MinimalPeHeader, optional = pe + 24;
    const uint32_t address = ReadU32(&image[optional + 56]); // behind the last section
    const uint32_t rawOffset = static_cast<uint32_t>(image.size());
    unstripped.resize(rawOffset + 0x200, 0xDB); // the debugging data
    Put16(unstripped, pe + 6, 4);
    Section(unstripped, 3, "/4", 0x1F0, address, 0x200, rawOffset, 0x42000040);
    WriteU32(&unstripped[optional + 56], address + 0x1000);
    WriteU32(&unstripped[optional + 8], ReadU32(&image[optional + 8]) + 0x200);
    WriteU32(&unstripped[pe + 12], static_cast<uint32_t>(unstripped.size())); // the symbol table
    WriteU32(&unstripped[pe + 16], 2);
    unstripped.resize(unstripped.size() + 2 * 18, 0x11);
    const char strings[] = "\x10\0\0\0.debug_info\0\0";
    unstripped.insert(unstripped.end(), strings, strings + 16);
    return unstripped;
}
