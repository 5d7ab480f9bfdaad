#include "packer/PeImage.h"

#include "archive/ArchiveFormat.h"

namespace {

uint16_t ReadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// The parts of the headers that the resource lookup needs, all checked against the file size.
struct PeHeaders {
    size_t sections;    // offset of the section table
    uint16_t sectionCount;
    uint32_t resourceRva; // 0 when the image has no resources
};

bool ReadHeaders(const uint8_t* bytes, size_t size, PeHeaders& headers)
{
    if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return false;
    uint64_t pe = ReadU32(bytes + 0x3C);
    if (pe + 24 > size || bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] || bytes[pe + 3])
        return false;
    uint16_t optionalSize = ReadU16(bytes + pe + 20);
    uint64_t optional = pe + 24;
    if (optional + optionalSize > size || optionalSize < 2)
        return false;
    uint16_t magic = ReadU16(bytes + optional);
    uint64_t countOffset, directories;
    if (magic == 0x10B) {
        countOffset = 92;
        directories = 96;
    } else if (magic == 0x20B) {
        countOffset = 108;
        directories = 112;
    } else {
        return false;
    }
    headers.sectionCount = ReadU16(bytes + pe + 6);
    headers.sections = static_cast<size_t>(optional + optionalSize);
    if (headers.sections + 40ull * headers.sectionCount > size)
        return false;
    headers.resourceRva = 0;
    // The resource table is data directory 2, when the optional header holds it.
    if (countOffset + 4 <= optionalSize && ReadU32(bytes + optional + countOffset) > 2 &&
        directories + 3 * 8 <= optionalSize)
        headers.resourceRva = ReadU32(bytes + optional + directories + 16);
    return true;
}

// The file offset of an address of the loaded image, with room for length bytes in its section,
// and the end of that section's bytes in the file.
bool RvaToOffset(const uint8_t* bytes, const PeHeaders& headers, uint32_t rva, uint64_t length, size_t size,
                 size_t& offset, uint64_t& sectionEnd)
{
    for (uint16_t i = 0; i < headers.sectionCount; i++) {
        const uint8_t* section = bytes + headers.sections + 40ull * i;
        uint64_t address = ReadU32(section + 12), rawSize = ReadU32(section + 16), rawStart = ReadU32(section + 20);
        if (rva < address || rva >= address + rawSize)
            continue;
        uint64_t start = rawStart + (rva - address);
        if (start + length > rawStart + rawSize || start + length > size)
            return false;
        offset = static_cast<size_t>(start);
        sectionEnd = rawStart + rawSize < size ? rawStart + rawSize : size;
        return true;
    }
    return false;
}

// The entry of a resource directory at offset (from the table's start) that carries id, or with
// any id when id is 0 (the first language). Its second field, or false.
bool FindDirectoryEntry(const uint8_t* table, uint64_t tableSize, uint64_t offset, uint32_t id, uint32_t& target)
{
    if (offset + 16 > tableSize)
        return false;
    uint64_t named = ReadU16(table + offset + 12), ids = ReadU16(table + offset + 14);
    uint64_t first = offset + 16;
    if (first + 8 * (named + ids) > tableSize)
        return false;
    for (uint64_t i = named; i < named + ids; i++) {
        const uint8_t* entry = table + first + 8 * i;
        if (id == 0 || ReadU32(entry) == id) {
            target = ReadU32(entry + 4);
            return true;
        }
    }
    return false;
}

} // namespace

bool IsPeImage(const uint8_t* bytes, size_t size)
{
    PeHeaders headers;
    return ReadHeaders(bytes, size, headers);
}

bool FindPeResource(const uint8_t* bytes, size_t size, uint32_t type, uint32_t id, size_t& offset,
                    size_t& length)
{
    PeHeaders headers;
    size_t tableOffset;
    uint64_t sectionEnd, dataEnd;
    if (!ReadHeaders(bytes, size, headers) || headers.resourceRva == 0 ||
        !RvaToOffset(bytes, headers, headers.resourceRva, 16, size, tableOffset, sectionEnd))
        return false;
    // Offsets inside the table count from its start; the loader does not trust its stated size.
    const uint8_t* table = bytes + tableOffset;
    uint64_t tableSize = sectionEnd - tableOffset;

    // type, then name, then language; the first two levels lead to subdirectories (high bit set)
    uint32_t next = 0;
    if (!FindDirectoryEntry(table, tableSize, 0, type, next) || !(next & 0x80000000u) ||
        !FindDirectoryEntry(table, tableSize, next & 0x7FFFFFFFu, id, next) || !(next & 0x80000000u) ||
        !FindDirectoryEntry(table, tableSize, next & 0x7FFFFFFFu, 0, next) || (next & 0x80000000u) ||
        static_cast<uint64_t>(next) + 16 > tableSize)
        return false;
    uint32_t dataRva = ReadU32(table + next), dataSize = ReadU32(table + next + 4);
    if (!RvaToOffset(bytes, headers, dataRva, dataSize, size, offset, dataEnd))
        return false;
    length = dataSize;
    return true;
}
