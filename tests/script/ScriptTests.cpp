#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Path.h"
#include "script/InstallScript.h"
#include "support/ArchiveBuilder.h"

#include <windows.h>

#include <string>

static Str Parsed(const wchar_t* text, const wchar_t* key)
{
    ScriptValues.clear();
    ParseScriptText(Str(text));
    return ScriptValues.valueOf(key);
}

// Every key and value of the list as "<key>=<value>;".
static std::wstring Pairs()
{
    std::wstring all;
    for (int64_t i = 0; i + 1 < ScriptValues.items.length(); i += 2)
        all += std::wstring(L"<") + ScriptValues.items.at(i).text() + L">=" + ScriptValues.items.at(i + 1).text() +
               L";";
    return all;
}

// Loads the settings from an archive that holds the UTF-8 script.
static void Load(const std::string& script, bool admin = false, int32_t language = LangPolish)
{
    static std::string archive;
    archive = ZlibRecord(u"Install.Script", script) + EndRecord();
    ReleaseArchive();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    isAdmin = admin;
    Language = language;
    LoadInstallScript();
}

static int32_t SystemLanguage()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_POLISH ? LangPolish : LangEnglish;
}

TEST_SUITE("parse") {

TEST_CASE("line ends of every kind split the same lines")
{
    for (const wchar_t* text : {L"a=1\r\nb=2\r\n\r\nc=3", L"a=1\nb=2\n\nc=3\n", L"a=1\rb=2\r\rc=3\r",
                                L"\r\n\na=1\n\r\rb=2\n\r\nc=3"}) {
        ScriptValues.clear();
        ParseScriptText(Str(text));
        CHECK(Pairs() == L"<a>=1;<b>=2;<c>=3;");
    }
}

TEST_CASE("comments start in column 0 only")
{
    ScriptValues.clear();
    ParseScriptText(Str(L"#name=hidden\n #x=shown\nname=A\n#\n"));
    CHECK(ScriptValues.pairCount() == 2);
    CHECK(ScriptValues.valueOf(L" #x") == L"shown");
    CHECK(ScriptValues.valueOf(L"name") == L"A");
}

TEST_CASE("a line splits at its first equals sign and nothing is trimmed")
{
    CHECK(Parsed(L"path=C:\\a=b", L"path") == L"C:\\a=b");
    ScriptValues.clear();
    ParseScriptText(Str(L"name =A\n title= B \nno pair here\n=empty key\nempty=\n"));
    CHECK(ScriptValues.pairCount() == 4);
    CHECK(ScriptValues.valueOf(L"name ") == L"A");
    CHECK(ScriptValues.valueOf(L" title") == L" B ");
    CHECK(ScriptValues.valueOf(L"") == L"empty key");
    CHECK(ScriptValues.find(L"title") < 0);
    CHECK(ScriptValues.find(L"name") < 0);
    CHECK(ScriptValues.find(L"empty") >= 0);
}

TEST_CASE("keys ignore case; a later line wins and the first spelling stays")
{
    ScriptValues.clear();
    ParseScriptText(Str(L"Title=first\nversion=1\nTITLE=second\nversion=2\n"));
    CHECK(Pairs() == L"<Title>=second;<version>=2;");
    CHECK(ScriptValues.valueOf(L"title") == L"second");
}

TEST_CASE("an alias is read first and an empty value counts as absent")
{
    ScriptValues.clear();
    ParseScriptText(Str(L"nazwa=A\nname=B\nplik-exe=\nexe-file=b.exe\n"));
    CHECK(ScriptValue(L"nazwa", L"name") == L"A");
    CHECK(ScriptValue(L"plik-exe", L"exe-file") == L"b.exe");
    CHECK(ScriptValue(L"kopiuj", L"copy-files").isEmpty());
    CHECK(ScriptValue(nullptr, L"name") == L"B");
}

TEST_CASE("yes and tak in any case, nothing else")
{
    CHECK(IsYes(Str(L"yes")));
    CHECK(IsYes(Str(L"YES")));
    CHECK(IsYes(Str(L"Tak")));
    CHECK_FALSE(IsYes(Str(L"yes ")));
    CHECK_FALSE(IsYes(Str(L"y")));
    CHECK_FALSE(IsYes(Str(L"1")));
    CHECK_FALSE(IsYes(Str(L"true")));
    CHECK_FALSE(IsYes(Str()));
}

} // TEST_SUITE

TEST_SUITE("settings") {

TEST_CASE("names, aliases and the default directory")
{
    Load("nazwa=Zeta\nname=B\nexe-file=bin\\zeta.exe\ncopyright=(c) Z\nlicencja=lic.txt\n"
         "start-menu-shortcut=Yes\nskrot-na-pulpicie=yes \ndesktop-shortcut=yes\n"
         "skrot-w-menu-wy\xC5\x9Blij-do=tak\n");
    CHECK(Script.programName == L"Zeta");
    CHECK(Script.exeFile == L"bin\\zeta.exe");
    CHECK(Script.copyrightText == L"(c) Z");
    CHECK(Script.licenceEntry == L"lic.txt");
    CHECK(Script.installDir == Concat(LocalAppDataDir(), Str(L"Zeta")));
    CHECK(Script.startMenuShortcut);
    CHECK(Script.desktopText == L"yes "); // the alias wins and is not trimmed...
    CHECK_FALSE(Script.desktopShortcut);  // ...so the box shows, unchecked
    CHECK(Script.sendToShortcut);
    CHECK(Script.titleText.isEmpty());
    CHECK(Script.perUserInstall);
    CHECK(Script.offerAllUsers);
    CHECK(Script.preferShared);
    CHECK_FALSE(Script.updateMode);
    CHECK(Language == LangPolish); // no detect-lang: Polish whatever the system says
    CHECK(DefaultHeadline() == L"Instalator programu Zeta");
    Language = LangEnglish;
    CHECK(DefaultHeadline() == L"Zeta Setup");
}

TEST_CASE("administrators install under the program folder for all users")
{
    Load("name=Admin App\n", true);
    CHECK(Script.installDir == Concat(ProgramFilesDir(), Str(L"Admin App")));
    CHECK_FALSE(Script.perUserInstall);
    CHECK_FALSE(Script.offerAllUsers);
    Str folder = ProgramFilesDir();
    CHECK(folder.length() > 3);
    CHECK(folder.text()[folder.length() - 1] == L'\\');
}

TEST_CASE("Polish keys replace the settings in Polish only, after the directory is made")
{
    const char* script = "name=A\nname-pl=B\ntitle=T\ntytul=\ntitle-pl=TP\ncopyright=C\ncopyright-pl=\n"
                         "licence=en.txt\nlicence-pl=pl.txt\n";
    Load(script, false, LangPolish);
    CHECK(Script.programName == L"B");
    CHECK(Script.installDir == Concat(LocalAppDataDir(), Str(L"A")));
    CHECK(Script.titleText == L"TP");
    CHECK(Script.copyrightText == L"C"); // an empty -pl value does not replace
    CHECK(Script.licenceEntry == L"pl.txt");

    Load(script, false, LangEnglish);
    CHECK(Script.programName == L"A");
    CHECK(Script.titleText == L"T");
    CHECK(Script.licenceEntry == L"en.txt");
}

TEST_CASE("detect-lang switches to the system's language for any value, even 0")
{
    Load("name=A\ndetect-lang=0\nname-pl=B\n", false, LangPolish);
    CHECK(Language == SystemLanguage());
    CHECK(Script.programName == (SystemLanguage() == LangPolish ? L"B" : L"A"));
    Load("name=A\ndetect-lang=\n", false, LangPolish);
    CHECK(Language == LangPolish);
}

TEST_CASE("prefer-shared is off for no in any case only")
{
    Load("prefer-shared=NO\n");
    CHECK_FALSE(Script.preferShared);
    Load("prefer-shared=nie\n");
    CHECK(Script.preferShared);
    Load("prefer-shared=no \n");
    CHECK(Script.preferShared);
    Load("prefer-shared=\n");
    CHECK(Script.preferShared);
}

TEST_CASE("an empty script is valid and a missing one is not found")
{
    Load("");
    CHECK(Script.programName.isEmpty());
    CHECK(Script.installDir == LocalAppDataDir());
    CHECK(ScriptValues.pairCount() == 0);

    static const std::string archive = RawRecord(u"other.txt", "x") + EndRecord();
    ReleaseArchive();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    try {
        LoadInstallScript();
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(e.code == ERROR_FILE_NOT_FOUND);
        CHECK(std::wstring(e.text) == L"install.script");
    }
    ReleaseArchive();
}

TEST_CASE("releasing drops every setting")
{
    Load("name=A\nexe-file=a.exe\n");
    ReleaseInstallScript();
    CHECK(Script.programName.isEmpty());
    CHECK(Script.installDir.isEmpty());
    CHECK(ScriptValues.items.isNull());
    ReleaseArchive();
    Language = LangPolish;
}

} // TEST_SUITE
