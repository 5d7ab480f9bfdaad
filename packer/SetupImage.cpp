#include "packer/SetupImage.h"

#include "archive/ArchiveFormat.h"

namespace {

const uint32_t ReadOnlyData = 0x40000040; // initialized data, readable: a huge archive costs no commit

[[noreturn]] void Unusable(const std::string& message)
{
    throw PeFormatError{message};
}

int ResourceSection(const PeLayout& layout)
{
    PeDirectory resources = layout.directory(DirectoryResources);
    int index = resources.address ? layout.sectionOf(resources.address) : -1;
    if (index < 0 || layout.sections[index].virtualAddress != resources.address)
        Unusable("it has no resource section (a stub carries at least its icon and manifest)");
    if (layout.sections[index].rawSize == 0)
        Unusable("its resource section has no bytes in the file");
    return index;
}

} // namespace

void CheckRebuildable(const PeLayout& layout, size_t stubSize)
{
    int resources = ResourceSection(layout);
    PeDirectory relocations = layout.directory(DirectoryRelocations);
    for (size_t i = resources + 1; i < layout.sections.size(); i++)
        if (layout.sections[i].virtualAddress != relocations.address || relocations.address == 0)
            Unusable("its resource section is not the last one: " + layout.sections[i].name +
                     " follows it (only the base relocations may, as they can be moved)");
    uint32_t start = layout.sections[resources].virtualAddress;
    for (uint32_t d = 0; d < layout.directories.size(); d++)
        if (d != DirectoryResources && d != DirectoryRelocations && d != DirectoryCertificates &&
            layout.directories[d].address >= start)
            Unusable("its data directory " + std::to_string(d) + " lies in or behind the resource section");
    if (layout.directory(DirectoryCertificates).size)
        Unusable("it is signed: sign the setup program that lumivo-pack writes, not the stub");
    if (stubSize > layout.imageEnd)
        Unusable("it carries " + std::to_string(stubSize - layout.imageEnd) +
                 " bytes behind its last section (an appended archive or other data)");
}

std::vector<ResourceItem> StubResources(const std::vector<uint8_t>& stub, const PeLayout& layout)
{
    std::vector<ResourceItem> items;
    for (const ResourceLeaf& leaf : ReadResources(stub.data(), stub.size(), layout)) {
        ResourceItem item;
        item.type = leaf.type;
        item.name = leaf.name;
        item.language = leaf.language;
        item.codePage = leaf.codePage;
        item.data.borrow(stub.data() + leaf.offset, leaf.size);
        items.push_back(std::move(item));
    }
    return items;
}

RebuiltImage RebuildImage(const std::vector<uint8_t>& stub, const PeLayout& layout,
                          const std::vector<ResourceItem>& resources, std::optional<uint32_t> timeDateStamp)
{
    CheckRebuildable(layout, stub.size());
    const size_t r = static_cast<size_t>(ResourceSection(layout));
    const PeSection& old = layout.sections[r];
    OutputBytes section = BuildResourceSection(resources, old.virtualAddress);
    uint64_t virtualSize = section.size;
    uint64_t rawSize = AlignUp(virtualSize, layout.fileAlignment);

    // The section starts on a page boundary of the file: a loader can then map its pages from the
    // file as they are touched (Wine reads a section at any other offset whole into the program's
    // own memory when it starts), so the archive in it is never copied.
    const uint64_t page = 0x1000;
    uint64_t rawStart = AlignUp(old.rawOffset, page);

    RebuiltImage image;
    uint8_t* h = image.bytes.own(std::vector<uint8_t>(stub.begin(), stub.begin() + layout.sizeOfHeaders));
    image.bytes.borrow(stub.data() + layout.sizeOfHeaders, old.rawOffset - layout.sizeOfHeaders);
    image.bytes.zeros(static_cast<size_t>(rawStart - old.rawOffset));
    image.bytes.append(std::move(section));
    image.bytes.zeros(static_cast<size_t>(rawSize - virtualSize));

    WriteU32(h + old.header + 8, static_cast<uint32_t>(virtualSize));
    WriteU32(h + old.header + 16, static_cast<uint32_t>(rawSize));
    WriteU32(h + old.header + 20, static_cast<uint32_t>(rawStart));
    WriteU32(h + old.header + 36, ReadOnlyData);
    WriteU32(h + layout.directoryField(DirectoryResources), old.virtualAddress);
    WriteU32(h + layout.directoryField(DirectoryResources) + 4, static_cast<uint32_t>(virtualSize));
    uint32_t initialized = ReadU32(h + layout.sizeOfInitializedDataField());
    WriteU32(h + layout.sizeOfInitializedDataField(),
             static_cast<uint32_t>(initialized - old.rawSize + rawSize));

    // Behind it, the base relocations: nothing points into them but their directory entry.
    uint64_t nextAddress = old.virtualAddress + AlignUp(virtualSize, layout.sectionAlignment);
    uint64_t nextRaw = rawStart + rawSize;
    for (size_t i = r + 1; i < layout.sections.size(); i++) {
        const PeSection& moved = layout.sections[i];
        uint64_t movedRaw = AlignUp(moved.rawSize, layout.fileAlignment);
        image.bytes.borrow(stub.data() + moved.rawOffset, moved.rawSize);
        image.bytes.zeros(static_cast<size_t>(movedRaw - moved.rawSize));
        uint32_t shift = static_cast<uint32_t>(nextAddress) - moved.virtualAddress;
        WriteU32(h + moved.header + 12, static_cast<uint32_t>(nextAddress));
        WriteU32(h + moved.header + 16, static_cast<uint32_t>(movedRaw));
        WriteU32(h + moved.header + 20, moved.rawSize ? static_cast<uint32_t>(nextRaw) : 0);
        size_t field = layout.directoryField(DirectoryRelocations);
        WriteU32(h + field, ReadU32(h + field) + shift);
        nextAddress += AlignUp(moved.mappedSize(), layout.sectionAlignment);
        nextRaw += movedRaw;
    }
    WriteU32(h + layout.sizeOfImageField(), static_cast<uint32_t>(nextAddress));
    WriteU32(h + layout.checksumField(), 0);
    if (timeDateStamp)
        WriteU32(h + layout.timeDateStampField(), *timeDateStamp);
    image.sizeOfImage = nextAddress;
    image.checksumField = layout.checksumField();
    return image;
}

void StampChecksum(RebuiltImage& image)
{
    PeChecksum checksum{image.checksumField};
    for (const BytePiece& piece : image.bytes.pieces)
        checksum.add(piece.data, piece.size);
    // The headers are the first block, owned by the list.
    WriteU32(image.bytes.owned.front().data() + image.checksumField, checksum.result());
}
