#include "doctest.h"

#include "packer/EntryName.h"

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
