// The resources of a PE image: read from its resource directory (type, name, language) and
// written back as a complete resource section, with resources added, replaced or removed.
#ifndef LUMIVO_PACKER_PERESOURCES_H
#define LUMIVO_PACKER_PERESOURCES_H

#include "packer/OutputBytes.h"
#include "packer/PeImage.h"

#include <stdint.h>
#include <string>
#include <vector>

enum : uint32_t {
    ResourceTypeIcon = 3,
    ResourceTypeRcData = 10,
    ResourceTypeGroupIcon = 14,
    ResourceTypeVersion = 16,
    ArchiveResourceId = 103,
    IconGroupId = 101,
};

// A type or a name: a number, or a text when the text is not empty.
struct ResourceName {
    uint32_t id = 0;
    std::u16string text;

    bool operator==(const ResourceName& other) const { return id == other.id && text == other.text; }
    bool isId(uint32_t number) const { return text.empty() && id == number; }
};

// One resource as the directory describes it, its bytes at offset in the file read.
struct ResourceLeaf {
    ResourceName type, name;
    uint16_t language;
    uint32_t codePage;
    size_t offset;
    uint32_t size;
};

// One resource of a section being built.
struct ResourceItem {
    ResourceName type, name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    OutputBytes data;
};

// Every resource of the image in directory order; none when it has no resource directory.
// PeFormatError when the directory leaves its section, loops, or names data outside the file.
std::vector<ResourceLeaf> ReadResources(const uint8_t* bytes, size_t size, const PeLayout& layout);

// The first language of resource (type, id), as FindResourceW would find it. False when the
// image is malformed or has no such resource.
bool FindPeResource(const uint8_t* bytes, size_t size, uint32_t type, uint32_t id, size_t& offset, size_t& length);

// A resource section at sectionRva holding the items: the directory, sorted as the loader's
// binary search needs it (names before numbers, each ascending), then every item's data aligned
// to 8 bytes, borrowed from the items, which must outlive the result. PeFormatError for two items
// of equal type, name and language.
OutputBytes BuildResourceSection(const std::vector<ResourceItem>& items, uint32_t sectionRva);

#endif
