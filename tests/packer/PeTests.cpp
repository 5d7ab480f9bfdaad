#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "archive/ArchiveFormat.h"
#include "packer/IconFile.h"
#include "packer/PeImage.h"
#include "packer/PeResources.h"
#include "packer/SetupImage.h"
#include "support/ArchiveBuilder.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

static std::vector<uint8_t> ByteVector(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

static ResourceItem Item(uint32_t type, uint32_t name, uint16_t language, const std::string& data,
                         const std::u16string& typeName = u"", const std::u16string& nameText = u"")
{
    ResourceItem item;
    item.type = ResourceName{type, typeName};
    item.name = ResourceName{name, nameText};
    item.language = language;
    item.data.own(ByteVector(data));
    return item;
}

static ResourceItem Borrowed(const ResourceItem& item)
{
    ResourceItem copy;
    copy.type = item.type;
    copy.name = item.name;
    copy.language = item.language;
    copy.data.borrowAll(item.data);
    return copy;
}

static std::string DataOf(const std::vector<uint8_t>& file, const ResourceLeaf& leaf)
{
    return std::string(file.begin() + leaf.offset, file.begin() + leaf.offset + leaf.size);
}

// The stub as built by the Windows tree, when that tree is there.
static bool LoadStub(std::vector<uint8_t>& stub)
{
    if (!fs::exists(LUMIVO_STUB_PATH)) {
        MESSAGE("no " LUMIVO_STUB_PATH ": the Windows tree is not built");
        return false;
    }
    stub = Load(LUMIVO_STUB_PATH);
    return true;
}

// A rebuilt image checked against its stub: every rule of the layout, every old resource kept
// byte for byte unless replaced, every new one there, the relocations moved whole.
static void CheckRebuilt(const std::vector<uint8_t>& stub, const std::vector<ResourceItem>& added,
                         const std::vector<ResourceLeaf>& removed = {})
{
    PeLayout before = ReadPeLayout(stub.data(), stub.size());
    std::vector<ResourceItem> items = StubResources(stub, before);
    std::vector<ResourceLeaf> oldLeaves = ReadResources(stub.data(), stub.size(), before);
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const ResourceItem& item) {
                                   return std::any_of(removed.begin(), removed.end(),
                                                      [&](const ResourceLeaf& r) {
                                                          return item.type == r.type && item.name == r.name &&
                                                                 item.language == r.language;
                                                      });
                               }),
                items.end());
    for (const ResourceItem& item : added)
        items.push_back(Borrowed(item));
    RebuiltImage image = RebuildImage(stub, before, items, 1700000000);
    StampChecksum(image);
    std::vector<uint8_t> file = image.bytes.joined();
    PeLayout after = ReadPeLayout(file.data(), file.size());

    CHECK(after.timeDateStamp == 1700000000);
    CHECK(after.sections.size() == before.sections.size());
    int r = before.sectionOf(before.directory(DirectoryResources).address);
    REQUIRE(r >= 0);
    // headers apart, everything before the resource section is the stub's
    size_t headerEnd = before.sizeOfHeaders;
    CHECK(std::equal(stub.begin() + headerEnd, stub.begin() + before.sections[r].rawOffset,
                     file.begin() + headerEnd));
    for (int i = 0; i < r; i++)
        CHECK(std::equal(stub.begin() + before.sections[i].header, stub.begin() + before.sections[i].header + 40,
                         file.begin() + after.sections[i].header));
    const PeSection& resources = after.sections[r];
    CHECK(after.directory(DirectoryResources).address == resources.virtualAddress);
    CHECK(after.directory(DirectoryResources).size == resources.virtualSize);
    CHECK(resources.characteristics == 0x40000040);
    uint64_t address = resources.virtualAddress, raw = resources.rawOffset;
    for (size_t i = r; i < after.sections.size(); i++) {
        const PeSection& section = after.sections[i];
        CHECK(section.virtualAddress == address); // no gaps: the loader wants them contiguous
        CHECK(section.rawOffset == raw);
        CHECK(section.rawOffset % after.fileAlignment == 0);
        CHECK(section.rawSize % after.fileAlignment == 0);
        address += AlignUp(section.mappedSize(), after.sectionAlignment);
        raw += section.rawSize;
        if (i > static_cast<size_t>(r)) {
            const PeSection& old = before.sections[i];
            CHECK(std::equal(stub.begin() + old.rawOffset, stub.begin() + old.rawOffset + old.rawSize,
                             file.begin() + section.rawOffset));
            CHECK(after.directory(DirectoryRelocations).address - section.virtualAddress ==
                  before.directory(DirectoryRelocations).address - old.virtualAddress);
        }
    }
    CHECK(after.sizeOfImage == address);
    CHECK(raw == file.size());
    PeChecksum checksum{after.checksumField()};
    checksum.add(file.data(), file.size());
    CHECK(checksum.result() == after.checksum);

    std::vector<ResourceLeaf> leaves = ReadResources(file.data(), file.size(), after);
    CHECK(leaves.size() == items.size());
    for (const ResourceLeaf& old : oldLeaves) {
        bool gone = std::any_of(removed.begin(), removed.end(), [&](const ResourceLeaf& item) {
            return item.type == old.type && item.name == old.name && item.language == old.language;
        });
        auto found = std::find_if(leaves.begin(), leaves.end(), [&](const ResourceLeaf& leaf) {
            return leaf.type == old.type && leaf.name == old.name && leaf.language == old.language;
        });
        CHECK((found == leaves.end()) == gone);
        if (found != leaves.end() && !gone)
            CHECK(DataOf(file, *found) == DataOf(stub, old));
    }
    for (const ResourceItem& item : added) {
        auto found = std::find_if(leaves.begin(), leaves.end(), [&](const ResourceLeaf& leaf) {
            return leaf.type == item.type && leaf.name == item.name && leaf.language == item.language;
        });
        REQUIRE(found != leaves.end());
        std::vector<uint8_t> expected = item.data.joined();
        CHECK(DataOf(file, *found) == std::string(expected.begin(), expected.end()));
        CHECK(found->offset % 8 == 0);
    }
    // the loader's binary search: names first, then numbers ascending, at every level
    for (size_t i = 1; i < leaves.size(); i++) {
        const ResourceLeaf &a = leaves[i - 1], &b = leaves[i];
        auto before = [](const ResourceName& x, const ResourceName& y) {
            if (x.text.empty() != y.text.empty())
                return !x.text.empty();
            return x.text.empty() ? x.id < y.id : x.text < y.text;
        };
        bool ordered = a.type == b.type && a.name == b.name ? a.language < b.language
                       : a.type == b.type                  ? before(a.name, b.name)
                                                           : before(a.type, b.type);
        CHECK(ordered);
    }
}

TEST_SUITE("pe") {

TEST_CASE("a PE image and its resource 103")
{
    std::string archive = "archive bytes";
    std::vector<uint8_t> with = MinimalPe(&archive), without = MinimalPe();
    CHECK(IsPeImage(with.data(), with.size()));
    size_t offset = 0, length = 0;
    REQUIRE(FindPeResource(with.data(), with.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));
    CHECK(std::string(with.begin() + offset, with.begin() + offset + length) == archive);
    CHECK(IsPeImage(without.data(), without.size()));
    CHECK_FALSE(FindPeResource(without.data(), without.size(), ResourceTypeRcData, ArchiveResourceId, offset,
                               length));
    CHECK_FALSE(FindPeResource(with.data(), with.size(), 3, ArchiveResourceId, offset, length));
}

TEST_CASE("damaged and foreign images are told apart without reading past them, and the reason is named")
{
    std::string archive = "archive bytes";
    std::vector<uint8_t> image = MinimalPe(&archive);
    for (size_t cut : {size_t(0), size_t(2), size_t(0x3F), size_t(0x50), size_t(0x100), size_t(0x180),
                       image.size() - 1}) {
        std::vector<uint8_t> part(image.begin(), image.begin() + cut);
        CHECK_FALSE(IsPeImage(part.data(), part.size()));
    }
    auto reason = [](const std::vector<uint8_t>& bytes) {
        try {
            ReadPeLayout(bytes.data(), bytes.size());
        } catch (const PeFormatError& error) {
            return error.message;
        }
        return std::string("accepted");
    };
    CHECK(reason(std::vector<uint8_t>(image.begin(), image.begin() + 0x100)).find("cut short") !=
          std::string::npos);
    std::vector<uint8_t> overlapping = image;
    WriteU32(&overlapping[MinimalPeSections + 40 + 12], 0x1000); // .rsrc at .text's address
    CHECK(reason(overlapping).find("overlaps") != std::string::npos);
    std::vector<uint8_t> outside = image;
    WriteU32(&outside[MinimalPeSections + 40 + 20], 0x100000);
    CHECK(reason(outside).find("passes the end of the file") != std::string::npos);

    std::vector<uint8_t> text = {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h'};
    CHECK_FALSE(IsPeImage(text.data(), text.size()));
    std::vector<uint8_t> farHeader = image;
    farHeader[0x3C] = 0xF0;
    farHeader[0x3F] = 0x7F; // e_lfanew far behind the end
    CHECK_FALSE(IsPeImage(farHeader.data(), farHeader.size()));
    // the resource data cut off: the image is still a PE, but the resource is not there
    std::vector<uint8_t> cutData = image;
    WriteU32(&cutData[MinimalPeResources + 0x4C], 0x10000);
    size_t offset, length;
    CHECK_FALSE(FindPeResource(cutData.data(), cutData.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));
    std::vector<uint8_t> loop = image;
    loop[MinimalPeResources + 20] = 0x00; // the type entry points back at the root directory
    loop[MinimalPeResources + 21] = 0x00;
    CHECK_FALSE(FindPeResource(loop.data(), loop.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));
}

TEST_CASE("the checksum is the one the linker writes into the stub")
{
    std::vector<uint8_t> stub;
    if (!LoadStub(stub))
        return;
    PeLayout layout = ReadPeLayout(stub.data(), stub.size());
    REQUIRE(layout.checksum != 0);
    PeChecksum checksum{layout.checksumField()};
    // in pieces of odd sizes: the sum must not depend on how the file is cut
    for (size_t at = 0; at < stub.size(); at += 777)
        checksum.add(stub.data() + at, std::min<size_t>(777, stub.size() - at));
    CHECK(checksum.result() == layout.checksum);
}

} // TEST_SUITE

TEST_SUITE("resources") {

TEST_CASE("the stub rebuilt with the archive and version information keeps every resource it had")
{
    std::vector<ResourceItem> added;
    added.push_back(Item(ResourceTypeRcData, ArchiveResourceId, 0, std::string(100003, 'a')));
    added.push_back(Item(ResourceTypeVersion, 1, 0, "version"));
    std::vector<uint8_t> stub;
    if (LoadStub(stub)) {
        PeLayout layout = ReadPeLayout(stub.data(), stub.size());
        std::vector<ResourceLeaf> leaves = ReadResources(stub.data(), stub.size(), layout);
        // icon group 101 (also the banner's logo) and the manifest are there to keep
        auto has = [&](uint32_t type, uint32_t id) {
            return std::any_of(leaves.begin(), leaves.end(),
                               [&](const ResourceLeaf& leaf) { return leaf.type.isId(type) && leaf.name.isId(id); });
        };
        CHECK(has(ResourceTypeGroupIcon, 101));
        CHECK(has(24, 1));
        CheckRebuilt(stub, added);
    }
    CheckRebuilt(MinimalPe(), added);
    std::string old = "an old archive";
    ResourceLeaf oldArchive{{ResourceTypeRcData, u""}, {ArchiveResourceId, u""}, 1033, 0, 0, 0};
    CheckRebuilt(MinimalPe(&old), added, {oldArchive});
}

TEST_CASE("named types and names, several languages and empty resources survive a rebuild")
{
    std::vector<ResourceItem> added;
    added.push_back(Item(0, 0, 0, "text", u"TXT", u"README"));
    added.push_back(Item(0, 7, 0x415, "siedem", u"TXT"));
    added.push_back(Item(0, 7, 0x409, "seven", u"TXT"));
    added.push_back(Item(0, 0, 0, "", u"ABC", u"EMPTY"));
    added.push_back(Item(ResourceTypeRcData, 5, 0, "five"));
    CheckRebuilt(MinimalPe(), added);
    std::vector<ResourceItem> twice;
    twice.push_back(Item(ResourceTypeRcData, 5, 0, "five"));
    twice.push_back(Item(ResourceTypeRcData, 5, 0, "again"));
    CHECK_THROWS_AS(BuildResourceSection(twice, 0x2000), PeFormatError);
}

TEST_CASE("a stub that cannot carry the archive is named with the reason")
{
    auto reason = [](const std::vector<uint8_t>& bytes) {
        try {
            CheckRebuildable(ReadPeLayout(bytes.data(), bytes.size()), bytes.size());
        } catch (const PeFormatError& error) {
            return error.message;
        }
        return std::string("accepted");
    };
    std::vector<uint8_t> image = MinimalPe();
    CHECK(reason(image) == "accepted");
    std::vector<uint8_t> notLast = image; // .reloc without its directory is an ordinary section
    WriteU32(&notLast[MinimalPeHeader + 24 + 112 + 40], 0);
    CHECK(reason(notLast).find("not the last one: .reloc follows it") != std::string::npos);
    std::vector<uint8_t> signedStub = image;
    WriteU32(&signedStub[MinimalPeHeader + 24 + 112 + 32], static_cast<uint32_t>(image.size()));
    WriteU32(&signedStub[MinimalPeHeader + 24 + 112 + 36], 8);
    signedStub.resize(image.size() + 8);
    CHECK(reason(signedStub).find("signed") != std::string::npos);
    std::vector<uint8_t> overlay = image;
    overlay.resize(image.size() + 100, 'x');
    CHECK(reason(overlay).find("100 bytes behind its last section") != std::string::npos);
    std::vector<uint8_t> noResources = image;
    WriteU32(&noResources[MinimalPeHeader + 24 + 112 + 16], 0);
    CHECK(reason(noResources).find("no resource section") != std::string::npos);
    std::vector<uint8_t> directoryBehind = image;
    WriteU32(&directoryBehind[MinimalPeHeader + 24 + 112 + 48], 0x2010); // debug data in .rsrc
    WriteU32(&directoryBehind[MinimalPeHeader + 24 + 112 + 52], 28);
    CHECK(reason(directoryBehind).find("directory 6") != std::string::npos);
}

} // TEST_SUITE

// An icon image as a bitmap: the info header, the colours and the mask.
static std::vector<uint8_t> BitmapImage(uint32_t size)
{
    std::vector<uint8_t> bytes(40 + size * size * 4 + size * ((size + 31) / 32 * 4), 0x5A);
    std::fill(bytes.begin(), bytes.begin() + 40, 0);
    WriteU32(&bytes[0], 40);
    WriteU32(&bytes[4], size);
    WriteU32(&bytes[8], 2 * size);
    bytes[12] = 1;
    bytes[14] = 32;
    return bytes;
}

static std::vector<uint8_t> PngImage(uint32_t size)
{
    std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(size >> shift));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(size >> shift));
    bytes.resize(60, 7);
    return bytes;
}

static std::vector<uint8_t> IconFile(const std::vector<std::vector<uint8_t>>& images, const std::vector<uint32_t>& sizes)
{
    std::vector<uint8_t> file(6 + 16 * images.size(), 0);
    file[2] = 1;
    file[4] = static_cast<uint8_t>(images.size());
    for (size_t i = 0; i < images.size(); i++) {
        uint8_t* entry = &file[6 + 16 * i];
        entry[0] = entry[1] = static_cast<uint8_t>(sizes[i] & 0xFF);
        entry[4] = 1;
        entry[6] = 32;
        WriteU32(entry + 8, static_cast<uint32_t>(images[i].size()));
        WriteU32(entry + 12, static_cast<uint32_t>(file.size()));
        file.insert(file.end(), images[i].begin(), images[i].end());
    }
    return file;
}

TEST_SUITE("icons") {

TEST_CASE("an icon file replaces group 101 with all its sizes; icons other groups use stay")
{
    std::vector<uint8_t> ico = IconFile({BitmapImage(16), BitmapImage(32), PngImage(256)}, {16, 32, 256});
    std::vector<IconImage> images = ReadIconFile(ico);
    REQUIRE(images.size() == 3);
    CHECK(images[2].width == 0);
    CHECK(images[1].bytes == BitmapImage(32));

    auto group = [](std::vector<uint16_t> ids) {
        std::string bytes(6 + 14 * ids.size(), '\0');
        bytes[2] = 1;
        bytes[4] = static_cast<char>(ids.size());
        for (size_t i = 0; i < ids.size(); i++)
            bytes[6 + 14 * i + 12] = static_cast<char>(ids[i]);
        return bytes;
    };
    std::vector<ResourceItem> items;
    items.push_back(Item(ResourceTypeIcon, 1, 1033, "old one"));
    items.push_back(Item(ResourceTypeIcon, 2, 1033, "shared"));
    items.push_back(Item(ResourceTypeIcon, 3, 1033, "other's"));
    items.push_back(Item(ResourceTypeGroupIcon, 101, 1033, group({1, 2})));
    items.push_back(Item(ResourceTypeGroupIcon, 102, 1033, group({2, 3})));
    items.push_back(Item(2, 102, 1033, "bitmap"));
    ReplaceIconGroup(items, 101, images);

    std::map<uint32_t, std::string> icons;
    std::string newGroup;
    for (const ResourceItem& item : items) {
        std::vector<uint8_t> data = item.data.joined();
        if (item.type.isId(ResourceTypeIcon))
            icons[item.name.id] = std::string(data.begin(), data.end());
        if (item.type.isId(ResourceTypeGroupIcon) && item.name.isId(101)) {
            newGroup = std::string(data.begin(), data.end());
            CHECK(item.language == 1033);
        }
    }
    CHECK(icons.size() == 5);
    CHECK(icons[2] == "shared");
    CHECK(icons[3] == "other's");
    REQUIRE(newGroup.size() == 6 + 3 * 14);
    CHECK(newGroup[4] == 3);
    std::vector<uint16_t> ids;
    for (size_t i = 0; i < 3; i++) {
        const uint8_t* entry = reinterpret_cast<const uint8_t*>(&newGroup[6 + 14 * i]);
        ids.push_back(static_cast<uint16_t>(entry[12] | entry[13] << 8));
        CHECK(ReadU32(entry + 8) == images[i].bytes.size());
        CHECK(icons[ids.back()] == std::string(images[i].bytes.begin(), images[i].bytes.end()));
    }
    CHECK(ids == std::vector<uint16_t>{1, 4, 5});
}

TEST_CASE("malformed icon files are refused with the reason")
{
    auto reason = [](const std::vector<uint8_t>& bytes) {
        try {
            ReadIconFile(bytes);
        } catch (const PeFormatError& error) {
            return error.message;
        }
        return std::string("accepted");
    };
    std::vector<uint8_t> good = IconFile({BitmapImage(16), PngImage(48)}, {16, 48});
    CHECK(reason(good) == "accepted");
    CHECK(reason(ByteVector("GIF89a")).find("not an icon file") != std::string::npos);
    CHECK(reason(IconFile(std::vector<std::vector<uint8_t>>(), {})).find("no images") != std::string::npos);
    CHECK(reason(std::vector<uint8_t>(good.begin(), good.begin() + 20)).find("cut short") != std::string::npos);
    CHECK(reason(std::vector<uint8_t>(good.begin(), good.end() - 1)).find("outside") != std::string::npos);
    CHECK(reason(IconFile({BitmapImage(16)}, {32})).find("16x16 but listed as 32x32") != std::string::npos);
    CHECK(reason(IconFile({ByteVector(std::string(64, 'z'))}, {16})).find("neither a PNG nor a bitmap") !=
          std::string::npos);
    std::vector<uint8_t> planes = BitmapImage(16);
    planes[12] = 3;
    CHECK(reason(IconFile({planes}, {16})).find("3 planes") != std::string::npos);
}

} // TEST_SUITE
