#include "packer/PeImage.h"

#include "archive/ArchiveFormat.h"
#include "packer/OutputBytes.h"

namespace {

uint16_t ReadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

[[noreturn]] void Malformed(const std::string& message)
{
    throw PeFormatError{message};
}

bool IsPowerOfTwo(uint32_t value)
{
    return value && !(value & (value - 1));
}

std::string SectionName(const uint8_t* header)
{
    std::string name;
    for (int i = 0; i < 8 && header[i]; i++)
        name += header[i] >= 0x20 && header[i] < 0x7F ? static_cast<char>(header[i]) : '?';
    return name;
}

} // namespace

int PeLayout::sectionOf(uint32_t rva) const
{
    for (size_t i = 0; i < sections.size(); i++) {
        const PeSection& section = sections[i];
        if (rva >= section.virtualAddress && rva - section.virtualAddress < section.mappedSize())
            return static_cast<int>(i);
    }
    return -1;
}

size_t PeLayout::fileOffset(uint32_t rva, uint32_t size, const char* what) const
{
    if (size == 0)
        return 0; // nothing to read, wherever it is said to lie (an empty resource ends its section)
    int index = sectionOf(rva);
    if (index < 0)
        Malformed(std::string(what) + " lies outside every section");
    const PeSection& section = sections[index];
    uint64_t inside = rva - section.virtualAddress;
    if (inside + size > section.rawSize)
        Malformed(std::string(what) + " passes the end of the section " + section.name + "'s bytes in the file");
    return static_cast<size_t>(section.rawOffset + inside);
}

PeLayout ReadPeLayout(const uint8_t* bytes, size_t size)
{
    if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        Malformed("no DOS header (an image starts with MZ)");
    uint64_t pe = ReadU32(bytes + 0x3C);
    if (pe + 24 > size)
        Malformed("the PE header lies behind the end of the file");
    if (bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] || bytes[pe + 3])
        Malformed("no PE signature");
    PeLayout layout;
    layout.fileHeader = static_cast<size_t>(pe + 4);
    uint16_t sectionCount = ReadU16(bytes + layout.fileHeader + 2);
    layout.timeDateStamp = ReadU32(bytes + layout.fileHeader + 4);
    uint16_t optionalSize = ReadU16(bytes + layout.fileHeader + 16);
    layout.optionalHeader = layout.fileHeader + 20;
    uint64_t sectionTable = layout.optionalHeader + static_cast<uint64_t>(optionalSize);
    if (sectionTable > size)
        Malformed("the optional header is cut short");
    if (optionalSize < 2)
        Malformed("no optional header");
    uint16_t magic = ReadU16(bytes + layout.optionalHeader);
    if (magic != 0x10B && magic != 0x20B)
        Malformed("the optional header is neither PE32 nor PE32+");
    layout.pe32Plus = magic == 0x20B;
    uint32_t directoriesAt = layout.pe32Plus ? 112 : 96;
    if (optionalSize < directoriesAt)
        Malformed("the optional header is cut short");
    const uint8_t* optional = bytes + layout.optionalHeader;
    layout.sectionAlignment = ReadU32(optional + 32);
    layout.fileAlignment = ReadU32(optional + 36);
    layout.sizeOfImage = ReadU32(optional + 56);
    layout.sizeOfHeaders = ReadU32(optional + 60);
    layout.checksum = ReadU32(optional + 64);
    uint32_t directoryCount = ReadU32(optional + directoriesAt - 4);
    if (directoryCount > 16)
        directoryCount = 16; // the loader reads no more
    if (directoriesAt + 8ull * directoryCount > optionalSize)
        Malformed("the data directories pass the end of the optional header");
    for (uint32_t i = 0; i < directoryCount; i++)
        layout.directories.push_back(
            PeDirectory{ReadU32(optional + directoriesAt + 8 * i), ReadU32(optional + directoriesAt + 8 * i + 4)});

    if (!IsPowerOfTwo(layout.fileAlignment) || layout.fileAlignment < 0x200 || layout.fileAlignment > 0x10000)
        Malformed("the file alignment " + std::to_string(layout.fileAlignment) +
                  " is not a power of two from 512 to 65536");
    if (!IsPowerOfTwo(layout.sectionAlignment) || layout.sectionAlignment < layout.fileAlignment)
        Malformed("the section alignment " + std::to_string(layout.sectionAlignment) +
                  " is not a power of two at least as large as the file alignment");
    if (sectionCount == 0 || sectionCount > 96)
        Malformed(std::to_string(sectionCount) + " sections (an image has 1 to 96)");
    if (sectionTable + 40ull * sectionCount > size)
        Malformed("the section table is cut short");
    if (sectionTable + 40ull * sectionCount > layout.sizeOfHeaders || layout.sizeOfHeaders > size)
        Malformed("the headers' size does not cover the section table or passes the end of the file");

    uint64_t nextAddress = layout.sizeOfHeaders, nextRaw = layout.sizeOfHeaders;
    layout.imageEnd = layout.sizeOfHeaders;
    for (uint16_t i = 0; i < sectionCount; i++) {
        size_t header = static_cast<size_t>(sectionTable + 40ull * i);
        const uint8_t* entry = bytes + header;
        PeSection section{SectionName(entry), header,    ReadU32(entry + 12), ReadU32(entry + 8),
                          ReadU32(entry + 20),  ReadU32(entry + 16), ReadU32(entry + 36)};
        std::string shown = "the section " + section.name;
        if (section.virtualAddress < nextAddress)
            Malformed(shown + " overlaps the one before it in memory or is out of order");
        if (section.virtualAddress % layout.sectionAlignment)
            Malformed(shown + " is not aligned to the section alignment");
        nextAddress = section.virtualAddress + AlignUp(section.mappedSize(), layout.sectionAlignment);
        if (section.rawSize > 0) {
            if (section.rawOffset < nextRaw)
                Malformed(shown + " overlaps the one before it in the file or is out of order");
            if (static_cast<uint64_t>(section.rawOffset) + section.rawSize > size)
                Malformed(shown + " passes the end of the file");
            nextRaw = static_cast<uint64_t>(section.rawOffset) + section.rawSize;
            layout.imageEnd = nextRaw;
        }
        layout.sections.push_back(section);
    }
    if (nextAddress > layout.sizeOfImage)
        Malformed("the sections pass the size of the image");
    return layout;
}

bool IsPeImage(const uint8_t* bytes, size_t size)
{
    try {
        ReadPeLayout(bytes, size);
        return true;
    } catch (const PeFormatError&) {
        return false;
    }
}

void PeChecksum::add(const uint8_t* bytes, size_t size)
{
    uint64_t wide = sum;
    for (size_t i = 0; i < size; i++, position++) {
        uint64_t byte = position - checksumField < 4 ? 0 : bytes[i];
        wide += byte << (8 * (position & 1));
        if ((i & 0xFFFFFF) == 0xFFFFFF)
            wide = (wide & 0xFFFF) + (wide >> 16);
    }
    while (wide >> 16)
        wide = (wide & 0xFFFF) + (wide >> 16);
    sum = static_cast<uint32_t>(wide);
}

uint32_t PeChecksum::result() const
{
    return static_cast<uint32_t>(sum + position);
}
