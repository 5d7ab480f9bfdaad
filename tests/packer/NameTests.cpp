#include "doctest.h"

#include "archive/RelativeName.h"
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

TEST_CASE("one rule for every relative name: devices, trailing dots and spaces, control characters")
{
    auto problem = [](const std::u16string& name, unsigned flags = 0) {
        return CheckRelativeName(name.data(), static_cast<int64_t>(name.size()), flags);
    };
    for (const char16_t* device : {u"CON", u"con", u"PRN.txt", u"aux.tar.gz", u"nul", u"Com1", u"COM9.log",
                                   u"lpt1", u"LPT9.x", u"com\u00B9", u"CON .txt", u"sub\\nul\\x.txt",
                                   u"a/AUX"})
        CHECK_MESSAGE(problem(device) == NameProblem::DeviceName, Utf16ToUtf8(device));
    for (const char16_t* ordinary : {u"console", u"CONx", u"com10", u"lpt", u"icon.txt", u"aux_", u"nul-file",
                                     u"x.con", u"COMA"})
        CHECK_MESSAGE(problem(ordinary) == NameProblem::None, Utf16ToUtf8(ordinary));
    CHECK(problem(u"name.") == NameProblem::TrailingDotOrSpace);
    CHECK(problem(u"name ") == NameProblem::TrailingDotOrSpace);
    CHECK(problem(u"dir.\\x") == NameProblem::TrailingDotOrSpace);
    CHECK(problem(u"...") == NameProblem::TrailingDotOrSpace);
    CHECK(problem(u".hidden") == NameProblem::None);
    CHECK(problem(u"a\u001Bb") == NameProblem::ControlCharacter);
    CHECK(problem(u"a\nb") == NameProblem::ControlCharacter);
    CHECK(problem(u"a\u007Fb") == NameProblem::None); // DEL is a legal file name character
    // Folders may end in a separator, patterns may hold stars; neither by default.
    CHECK(problem(u"Syntax\\") == NameProblem::EmptyComponent);
    CHECK(problem(u"Syntax\\", NameMayEndInSeparator) == NameProblem::None);
    CHECK(problem(u"a\\\\b", NameMayEndInSeparator) == NameProblem::EmptyComponent);
    CHECK(problem(u"\\", NameMayEndInSeparator) == NameProblem::Absolute);
    CHECK(problem(u"*.log") == NameProblem::ForbiddenCharacter);
    CHECK(problem(u"logs\\*.log", NameMayHoldWildcards) == NameProblem::None);
    CHECK(problem(u"*.log?", NameMayHoldWildcards) == NameProblem::ForbiddenCharacter);
    CHECK(std::string(NameProblemText(NameProblem::DeviceName)).find("device") != std::string::npos);
}

TEST_CASE("names from an archive are printed with their control characters escaped")
{
    CHECK(ShownName(u"docs\\readme.txt") == "docs\\readme.txt");
    CHECK(ShownName(u"a\u001B]0;owned\u0007b") == "a\\x1B]0;owned\\x07b");
    CHECK(ShownName(u"\u009B31m") == "\\x9B31m");
    CHECK(ShownName(u"gpj.\u202Eexe") == "gpj.\\u202Eexe");
    CHECK(ShownName(u"\u017C\u00F3\u0142w") == "\xC5\xBC\xC3\xB3\xC5\x82w");
}

} // TEST_SUITE
