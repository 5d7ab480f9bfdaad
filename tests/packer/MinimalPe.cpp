#include "MinimalPe.h"

#include "archive/ArchiveFormat.h"

#include <algorithm>

static void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> MinimalPe(const std::string* resource103)
{
    std::string data = resource103 ? *resource103 : std::string("other resource");
    const size_t pe = 0x40, optional = pe + 24, sections = optional + 240, raw = 0x200;
    const uint32_t rva = 0x1000;
    std::vector<uint8_t> image(raw + 0x58 + data.size(), 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteU32(&image[0x3C], pe);
    image[pe] = 'P';
    image[pe + 1] = 'E';
    Put16(image, pe + 4, 0x8664);
    Put16(image, pe + 6, 1);      // sections
    Put16(image, pe + 20, 240);   // optional header size
    Put16(image, pe + 22, 0x22);
    Put16(image, optional, 0x20B); // PE32+
    WriteU32(&image[optional + 108], 16);
    WriteU32(&image[optional + 112 + 16], rva); // resource directory
    WriteU32(&image[optional + 112 + 20], static_cast<uint32_t>(0x58 + data.size()));
    std::copy_n(".rsrc", 5, image.begin() + sections);
    WriteU32(&image[sections + 8], static_cast<uint32_t>(0x58 + data.size()));
    WriteU32(&image[sections + 12], rva);
    WriteU32(&image[sections + 16], static_cast<uint32_t>(0x58 + data.size()));
    WriteU32(&image[sections + 20], raw);

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
    WriteU32(table + 0x48, rva + 0x58);
    WriteU32(table + 0x4C, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), image.begin() + raw + 0x58);
    return image;
}
