// Reading the layout of a PE image (an installer stub or a built setup program): the headers,
// the section table and the data directories, every field checked against the file before it is
// used. Portable: no Windows headers, so that it builds natively and under the fuzzer.
#ifndef LUMIVO_PACKER_PEIMAGE_H
#define LUMIVO_PACKER_PEIMAGE_H

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// Why bytes are not an image this packer can read or rebuild.
struct PeFormatError {
    std::string message;
};

struct PeSection {
    std::string name;
    size_t header; // file offset of its 40-byte entry in the section table
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize, characteristics;

    // Bytes the section takes in the loaded image.
    uint32_t mappedSize() const { return virtualSize ? virtualSize : rawSize; }
};

struct PeDirectory {
    uint32_t address; // an RVA; for the certificate table a file offset
    uint32_t size;
};

enum : uint32_t {
    DirectoryResources = 2,
    DirectoryCertificates = 4,
    DirectoryRelocations = 5,
    DirectoryDebug = 6,
};

struct PeLayout {
    bool pe32Plus;
    size_t fileHeader;     // the 20-byte COFF header after "PE\0\0"
    size_t optionalHeader; // its start
    uint32_t sectionAlignment, fileAlignment, sizeOfImage, sizeOfHeaders, checksum, timeDateStamp;
    std::vector<PeDirectory> directories; // as many as the header declares, at most 16
    std::vector<PeSection> sections;      // in table order, which is address order
    uint64_t imageEnd;                    // end of the last section's bytes in the file

    // File offsets of header fields that a rebuild changes.
    size_t checksumField() const { return optionalHeader + 64; }
    size_t sizeOfImageField() const { return optionalHeader + 56; }
    size_t sizeOfInitializedDataField() const { return optionalHeader + 8; }
    size_t timeDateStampField() const { return fileHeader + 4; }
    size_t directoryField(uint32_t index) const { return optionalHeader + (pe32Plus ? 112 : 96) + 8 * index; }

    PeDirectory directory(uint32_t index) const
    {
        return index < directories.size() ? directories[index] : PeDirectory{0, 0};
    }
    // The section whose loaded bytes hold the address, or -1.
    int sectionOf(uint32_t rva) const;
    // The file offset of size bytes at rva, all inside one section's file bytes; PeFormatError
    // naming what when they are not. 0 for no bytes.
    size_t fileOffset(uint32_t rva, uint32_t size, const char* what) const;
};

// The layout of the image in bytes[0, size); PeFormatError with a clear message when the bytes are
// not a PE image, are cut short, or have sections that overlap, leave the file or are out of order.
PeLayout ReadPeLayout(const uint8_t* bytes, size_t size);

// Whether ReadPeLayout accepts the bytes.
bool IsPeImage(const uint8_t* bytes, size_t size);

// The PE checksum of a file, as the loader and signing tools compute it: 16-bit sums with carry
// over every byte but the 4 of the checksum field, plus the file length.
struct PeChecksum {
    uint64_t checksumField; // file offset of the field, whose bytes count as zero
    uint64_t position = 0;
    uint32_t sum = 0;

    void add(const uint8_t* bytes, size_t size);
    uint32_t result() const;
};

#endif
