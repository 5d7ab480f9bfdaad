#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "installer/FileList.h"
#include "installer/ListItem.h"
#include "support/ArchiveBuilder.h"

static std::wstring Joined(const StrArray& items)
{
    std::wstring all;
    for (int64_t i = 0; i < items.length(); i++)
        all += (i ? L"|" : L"") + std::wstring(items.ref(i).text());
    return all;
}

static bool Match(const wchar_t* name, const wchar_t* pattern)
{
    return MatchPattern(Str(name), Str(pattern));
}

TEST_SUITE("lists") {

TEST_CASE("pattern matching")
{
    CHECK(Match(L"x.txt", L"*.txt"));
    CHECK(Match(L"x.txt.bak", L"*.txt")); // the pattern may end before the name
    CHECK(Match(L"sub\\y.txt", L"*.txt")); // the star is held back only at its own position
    CHECK(Match(L"Data\\sub\\x.txt", L"Data\\*"));
    CHECK(Match(L"Data\\sub\\x.txt", L"Dat"));
    CHECK(Match(L"README", L"read*"));
    CHECK_FALSE(Match(L"\\y.txt", L"*y.txt")); // a star facing a separator matches nothing there
    CHECK(Match(L"\\y.txt", L"*\\y.txt"));
    CHECK_FALSE(Match(L"ab", L"abc"));
    CHECK_FALSE(Match(L"a.exe", L"*.dll"));
    CHECK(Match(L"ŻÓŁW.TXT", L"żółw*"));
    CHECK(Match(L"a\\b", L"*b")); // a star that has started runs on across a separator
    CHECK_FALSE(Match(L"a\\\\b", L"a*\\c"));
    CHECK(Match(L"", L""));
    CHECK(Match(L"x", L"*"));
    CHECK(Match(L"", L"*"));
}

TEST_CASE("the uninstaller's patterns match whole names within one folder level")
{
    auto whole = [](const wchar_t* name, const wchar_t* pattern) {
        return MatchWholeName(Str(name), Str(pattern));
    };
    CHECK(whole(L"notes.ini", L"*.ini"));
    CHECK(whole(L"NOTES.INI", L"*.ini"));
    CHECK_FALSE(whole(L"notes.ini.bak", L"*.ini"));
    CHECK_FALSE(whole(L"sub\\notes.ini", L"*.ini"));
    CHECK(whole(L"sub\\notes.ini", L"*\\*.ini"));
    CHECK(whole(L"logs\\b.log", L"logs\\*"));
    CHECK_FALSE(whole(L"logs\\old\\b.log", L"logs\\*"));
    CHECK_FALSE(whole(L"Data", L"Dat"));
    CHECK(whole(L"a.b.c", L"a*c"));
    CHECK(whole(L"", L"*"));
}

TEST_CASE("forty stars take no longer than a few, for both kinds of matching")
{
    // A pattern that fails only at its end: backtracking would try every split of the name.
    std::wstring stars;
    for (int i = 0; i < 40; i++)
        stars += L"*a";
    stars += L"x";
    std::wstring name(120, L'a');
    CHECK_FALSE(Match(name.c_str(), stars.c_str()));
    CHECK_FALSE(MatchWholeName(Str(name.c_str()), Str(stars.c_str())));
    CHECK(Match((name + L"x").c_str(), stars.c_str()));

    // The copy list of forty stars against the archive's names.
    std::string archive =
        RawRecord(std::u16string(120, u'a') + u".bin", "1") + RawRecord(u"b.txt", "2") + EndRecord();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    CHECK(ExpandFileList(Str(stars.c_str())).length() == 0);
    CHECK(ExpandFileList(Str((std::wstring(40, L'*') + L".txt").c_str())).length() == 1);
    ReleaseArchive();
}

TEST_CASE("list items and the containment rule")
{
    CHECK(Joined(SplitList(Str(L"a.exe||b.dll|"))) == L"a.exe|b.dll");
    CHECK(Joined(SplitList(Str(L"|a b| c "))) == L"a b| c ");
    CHECK(SplitList(Str()).length() == 0);
    CHECK(IsContainedRelativePath(Str(L"sub\\file.txt")));
    CHECK(IsContainedRelativePath(Str(L"a..b\\c")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"C:\\Windows\\x.dll")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"C:x.dll")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"\\Windows\\x.dll")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"/etc/x")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"sub\\..\\..\\x")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"..")));
    CHECK_FALSE(IsContainedRelativePath(Str(L"sub/../x")));
    CHECK_FALSE(IsContainedRelativePath(Str(L".\\x")));
    CHECK_FALSE(IsContainedRelativePath(Str()));
}

TEST_CASE("expanding the copy list against the archive")
{
    std::string archive = RawRecord(u"x.txt", "1") + RawRecord(u"sub\\y.txt", "2") + RawRecord(u"x.txt.bak", "3") +
                          RawRecord(u"a.exe", "4") + RawRecord(u"X.TXT", "5") + EndRecord();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    CHECK(Joined(ExpandFileList(Str(L"a.exe|A.EXE|b.txt"))) == L"a.exe|b.txt");
    CHECK(Joined(ExpandFileList(Str(L"*.txt"))) == L"x.txt|sub\\y.txt|x.txt.bak");
    CHECK(Joined(ExpandFileList(Str(L"x.txt|*.txt|missing.dll"))) == L"x.txt|sub\\y.txt|x.txt.bak|missing.dll");
    CHECK(ExpandFileList(Str(L"|")).length() == 0);
    ReleaseArchive();

    // A star leaves the script and the uninstallers to the installer; plain items still name them.
    archive = RawRecord(u"INSTALL.SCRIPT", "s") + RawRecord(u"_de_install.exe", "u") +
              RawRecord(u"_De_InstallU.exe", "u") + RawRecord(u"app.exe", "a") + RawRecord(u"sub\\install.script", "t") +
              EndRecord();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    CHECK(Joined(ExpandFileList(Str(L"*"))) == L"app.exe|sub\\install.script");
    CHECK(Joined(ExpandFileList(Str(L"*.exe|_de_install.exe|install.script"))) ==
          L"app.exe|_de_install.exe|install.script");
    ReleaseArchive();
}

TEST_CASE("a long copy list keeps the first of every name, in order")
{
    std::string archive;
    std::wstring expected, items;
    for (int i = 0; i < 4000; i++) {
        std::wstring name = L"d" + std::to_wstring(i % 40) + L"\\f" + std::to_wstring(i) + L".txt";
        archive += RawRecord(std::u16string(name.begin(), name.end()), "x");
        expected += (i ? L"|" : L"") + name;
    }
    archive += EndRecord();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    // Plain names first (one twice, in another case), then a pattern that matches them again.
    std::wstring upper = L"D0\\F0.TXT";
    CHECK(Joined(ExpandFileList(Str((upper + L"|d0\\f0.txt|*").c_str()))) ==
          upper + expected.substr(expected.find(L'|')));
    CHECK(ExpandFileList(Str(L"*|*|*.txt")).length() == 4000);
    ReleaseArchive();
}

TEST_CASE("the directories the files need, shortest first")
{
    StrArray files = SplitList(Str(L"a.exe|Spellcheck\\pl.dic|Colors\\light.txt|Syntax\\css.x"));
    CHECK(Joined(NeededDirectories(files)) == L"Colors\\|Syntax\\|Spellcheck\\");
    CHECK(Joined(NeededDirectories(SplitList(Str(L"a\\b\\c.txt")))) == L"a\\|a\\b\\");
    CHECK(Joined(NeededDirectories(SplitList(Str(L"A\\x|a\\y")))) == L"A\\");
    CHECK(NeededDirectories(SplitList(Str(L"top.exe"))).length() == 0);
    // A rooted name ends the walk instead of climbing forever.
    CHECK(NeededDirectories(SplitList(Str(L"C:\\a\\b.txt"))).length() == 2);
}

} // TEST_SUITE
