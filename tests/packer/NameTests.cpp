#include "doctest.h"

#include "MinimalPe.h"
#include "packer/EntryName.h"
#include "packer/PeImage.h"

TEST_SUITE("names") {

TEST_CASE("UTF-8 converts to UTF-16 and back; malformed input is refused")
{
    std::u16string units;
    REQUIRE(Utf8ToUtf16("docs/\xC3\x84pfel \xE2\x82\xAC \xF0\x9F\x98\x80", units));
    CHECK(units == u"docs/\u00C4pfel \u20AC \U0001F600");
    CHECK(Utf16ToUtf8(units) == "docs/\xC3\x84pfel \xE2\x82\xAC \xF0\x9F\x98\x80");
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "a\xFF"})
        CHECK_FALSE(Utf8ToUtf16(bad, units));
    CHECK(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))) == "\xEF\xBF\xBD");
}

TEST_CASE("names fold to lower case per code point")
{
    CHECK(FoldedName(u"Docs\\README.TXT") == u"docs\\readme.txt");
    CHECK(FoldedName(u"\u00C4PFEL") == FoldedName(u"\u00E4pfel"));
    CHECK(FoldedName(u"\u0410\u0411") == u"\u0430\u0431");
    CHECK(FoldedName(u"\U0001F600") == u"\U0001F600");
}

TEST_CASE("a name must stay inside the folder it is unpacked into")
{
    CHECK(EntryNameProblem(u"docs\\readme.txt").empty());
    CHECK(EntryNameProblem(u"a..b\\.hidden\\x").empty());
    CHECK(EntryNameProblem(u"\\abs.txt") == "is absolute");
    CHECK(EntryNameProblem(u"/abs.txt") == "is absolute");
    CHECK(EntryNameProblem(u"C:\\x.txt").find("drive") != std::string::npos);
    CHECK(EntryNameProblem(u"file.txt:stream").find("stream") != std::string::npos);
    CHECK(EntryNameProblem(u"..\\evil.txt").find("..") != std::string::npos);
    CHECK(EntryNameProblem(u"a\\..\\..\\evil.txt").find("..") != std::string::npos);
    CHECK(EntryNameProblem(u"a/../evil.txt").find("..") != std::string::npos);
    CHECK(EntryNameProblem(u"a\\.\\b").find("\".\"") != std::string::npos);
    CHECK(EntryNameProblem(u"a\\\\b") == "has an empty component");
    CHECK(EntryNameProblem(u"a\\") == "has an empty component");
    CHECK(EntryNameProblem(u"") == "is empty");
    for (const char16_t* bad : {u"a*.txt", u"a?.txt", u"a|b", u"a<b", u"a>b", u"a\"b", u"tab\there"})
        CHECK_FALSE(EntryNameProblem(bad).empty());
}

} // TEST_SUITE

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

TEST_CASE("damaged and foreign images are told apart without reading past them")
{
    std::string archive = "archive bytes";
    std::vector<uint8_t> image = MinimalPe(&archive);
    for (size_t cut : {size_t(0), size_t(2), size_t(0x3F), size_t(0x50), size_t(0x100), size_t(0x148 + 20)}) {
        std::vector<uint8_t> part(image.begin(), image.begin() + cut);
        CHECK_FALSE(IsPeImage(part.data(), part.size()));
    }
    // the resource data cut off: the image is still a PE, but the resource is not there
    std::vector<uint8_t> cut(image.begin(), image.end() - 3);
    size_t offset, length;
    CHECK_FALSE(FindPeResource(cut.data(), cut.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));

    std::vector<uint8_t> text = {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h'};
    CHECK_FALSE(IsPeImage(text.data(), text.size()));
    std::vector<uint8_t> farHeader = image;
    farHeader[0x3C] = 0xF0;
    farHeader[0x3F] = 0x7F; // e_lfanew far behind the end
    CHECK_FALSE(IsPeImage(farHeader.data(), farHeader.size()));
    std::vector<uint8_t> loop = image;
    loop[0x200 + 20] = 0x00; // the type entry points back at the root directory
    loop[0x200 + 21] = 0x00;
    CHECK_FALSE(FindPeResource(loop.data(), loop.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));
}

} // TEST_SUITE
