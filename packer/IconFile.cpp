#include "packer/IconFile.h"

#include "archive/ArchiveFormat.h"

#include <set>

namespace {

uint16_t ReadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t ReadU32BigEndian(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

[[noreturn]] void Malformed(const std::string& message)
{
    throw PeFormatError{message};
}

// A PNG's width and height from its header chunk, or a bitmap's from its info header (whose
// height counts the mask too).
void CheckImage(const IconImage& image, size_t index)
{
    std::string shown = "image " + std::to_string(index + 1);
    const std::vector<uint8_t>& b = image.bytes;
    uint32_t width, height;
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() >= 8 && std::equal(png, png + 8, b.begin())) {
        if (b.size() < 24 || std::string(b.begin() + 12, b.begin() + 16) != "IHDR")
            Malformed(shown + " is a PNG without its header");
        width = ReadU32BigEndian(&b[16]);
        height = ReadU32BigEndian(&b[20]);
    } else {
        if (b.size() < 40 || ReadU32(&b[0]) < 40 || ReadU32(&b[0]) > b.size())
            Malformed(shown + " is neither a PNG nor a bitmap");
        width = ReadU32(&b[4]);
        height = ReadU32(&b[8]) / 2;
        uint16_t planes = ReadU16(&b[12]), bits = ReadU16(&b[14]);
        if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
            Malformed(shown + " is a bitmap with " + std::to_string(planes) + " planes of " + std::to_string(bits) +
                      " bits");
    }
    uint32_t listedWidth = image.width ? image.width : 256, listedHeight = image.height ? image.height : 256;
    if (width != listedWidth || height != listedHeight)
        Malformed(shown + " is " + std::to_string(width) + "x" + std::to_string(height) + " but listed as " +
                  std::to_string(listedWidth) + "x" + std::to_string(listedHeight));
}

} // namespace

std::vector<IconImage> ReadIconFile(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 6 || ReadU16(&bytes[0]) != 0 || ReadU16(&bytes[2]) != 1)
        Malformed("not an icon file (it starts with 0, 0, 1, 0)");
    size_t count = ReadU16(&bytes[4]);
    if (count == 0)
        Malformed("the icon file holds no images");
    if (6 + 16 * count > bytes.size())
        Malformed("the icon file's list of " + std::to_string(count) + " images is cut short");
    std::vector<IconImage> images;
    for (size_t i = 0; i < count; i++) {
        const uint8_t* entry = &bytes[6 + 16 * i];
        uint64_t size = ReadU32(entry + 8), offset = ReadU32(entry + 12);
        if (size == 0 || offset < 6 + 16 * count || offset + size > bytes.size())
            Malformed("image " + std::to_string(i + 1) + " of the icon file lies outside it");
        IconImage image{entry[0], entry[1], entry[2], ReadU16(entry + 4), ReadU16(entry + 6),
                        std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + size)};
        CheckImage(image, i);
        images.push_back(image);
    }
    return images;
}

void ReplaceIconGroup(std::vector<ResourceItem>& items, uint32_t id, const std::vector<IconImage>& images)
{
    uint16_t language = 0x0409;
    std::set<uint32_t> oldIcons, keptIcons, usedIds;
    for (const ResourceItem& item : items) {
        if (!item.type.isId(ResourceTypeGroupIcon))
            continue;
        std::vector<uint8_t> group = item.data.joined();
        std::set<uint32_t>& icons = item.name.isId(id) ? oldIcons : keptIcons;
        if (item.name.isId(id))
            language = item.language;
        for (size_t at = 6; at + 14 <= group.size(); at += 14)
            icons.insert(ReadU16(&group[at + 12]));
    }
    std::vector<ResourceItem> kept;
    for (ResourceItem& item : items) {
        bool oldGroup = item.type.isId(ResourceTypeGroupIcon) && item.name.isId(id);
        bool onlyOldGroups = item.type.isId(ResourceTypeIcon) && item.name.text.empty() &&
                             oldIcons.count(item.name.id) && !keptIcons.count(item.name.id);
        if (oldGroup || onlyOldGroups)
            continue;
        if (item.type.isId(ResourceTypeIcon) && item.name.text.empty())
            usedIds.insert(item.name.id);
        kept.push_back(std::move(item));
    }
    items = std::move(kept);

    std::vector<uint8_t> group(6 + 14 * images.size(), 0);
    group[2] = 1;
    group[4] = static_cast<uint8_t>(images.size());
    group[5] = static_cast<uint8_t>(images.size() >> 8);
    uint32_t next = 1;
    for (size_t i = 0; i < images.size(); i++) {
        while (usedIds.count(next))
            next++;
        usedIds.insert(next);
        const IconImage& image = images[i];
        uint8_t* entry = &group[6 + 14 * i];
        entry[0] = image.width;
        entry[1] = image.height;
        entry[2] = image.colorCount;
        entry[4] = static_cast<uint8_t>(image.planes);
        entry[5] = static_cast<uint8_t>(image.planes >> 8);
        entry[6] = static_cast<uint8_t>(image.bitCount);
        entry[7] = static_cast<uint8_t>(image.bitCount >> 8);
        WriteU32(entry + 8, static_cast<uint32_t>(image.bytes.size()));
        entry[12] = static_cast<uint8_t>(next);
        entry[13] = static_cast<uint8_t>(next >> 8);
        ResourceItem icon;
        icon.type.id = ResourceTypeIcon;
        icon.name.id = next;
        icon.language = language;
        icon.data.own(image.bytes);
        items.push_back(std::move(icon));
    }
    ResourceItem groupItem;
    groupItem.type.id = ResourceTypeGroupIcon;
    groupItem.name.id = id;
    groupItem.language = language;
    groupItem.data.own(std::move(group));
    items.push_back(std::move(groupItem));
}
