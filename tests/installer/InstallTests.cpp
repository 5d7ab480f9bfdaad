#include "doctest.h"

#include "core/Error.h"
#include "installer/InstallFixture.h"
#include "installer/LinkReader.h"
#include "installer/Shortcut.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"

#include <windows.h>
#include <shlobj.h>

namespace {

const uint64_t EntryTime = 132000000000000000ULL; // 2019

std::vector<std::pair<std::wstring, std::string>> FooEntries()
{
    return {{L"_de_install.exe", "all-users uninstaller"},
            {L"_de_installu.exe", "per-user uninstaller"},
            {L"foo.exe", std::string("MZ program\0bytes", 16)},
            {L"Colors\\light.txt", "light"},
            {L"Syntax\\css.x", "css"},
            {L"Syntax\\deep\\more.x", "more"},
            {L"empty.txt", ""}};
}

std::string FileText(const std::wstring& path)
{
    return FileExists(path) ? ReadWholeFile(path) : "<missing>";
}

// Nothing of the program is left: files, directories, key, links.
void CheckNothingLeft(InstallFixture& scene, bool perUser)
{
    CHECK_FALSE(DirectoryExists(scene.installDir()));
    CHECK_FALSE(RegistryKeyExists(perUser, scene.programName));
    CHECK_FALSE(FileExists(LinkPath(StartMenuFolder(perUser), scene.programName)));
    CHECK_FALSE(FileExists(LinkPath(DesktopFolder(perUser), scene.programName)));
}

} // namespace

TEST_SUITE("complete") {

TEST_CASE("progress counts the unpacked bytes up to their total; a cancel stops at the next file")
{
    InstallFixture scene;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestProgress", L"foo.exe|Colors\\light.txt|Syntax\\*|empty.txt", false);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    const int64_t total = 21 + 16 + 5 + 3 + 4 + 0; // the uninstaller and the five files
    REQUIRE(scene.progress.size() >= 7);            // one before the first file and one after each
    CHECK(scene.progress.front() == std::make_pair(int64_t(0), total));
    CHECK(scene.progress.back() == std::make_pair(total, total));
    for (size_t i = 1; i < scene.progress.size(); i++)
        CHECK(scene.progress[i].first >= scene.progress[i - 1].first);

    InstallFixture cancelled;
    cancelled.useArchive(FooEntries(), EntryTime);
    cancelled.useProgram(L"LumivoTestCancel", L"foo.exe|Colors\\light.txt|Syntax\\*|empty.txt", false);
    cancelled.cancelAtProgress = 3; // after foo.exe
    AnswerAlerts({0}); // the closing alert of the clean-up
    CHECK_FALSE(cancelled.install());
    for (const auto& shown : cancelled.progress)
        CHECK(shown.first <= 21 + 16); // nothing after foo.exe was written
    CheckNothingLeft(cancelled, false);
}

TEST_CASE("an installation for all users")
{
    InstallFixture scene;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestAll", L"foo.exe|Colors\\light.txt|Syntax\\*|empty.txt", false);
    Script.startMenuShortcut = true;
    Script.desktopShortcut = true;
    ScriptValues.set(Str(L"publisher"), Str(L"Quenbar Sp. z o.o."));
    ScriptValues.set(Str(L"version"), Str(L"1.2.3"));
    ScriptValues.set(Str(L"url"), Str(L"https://quenbar.example/foo"));
    AnswerAlerts({0});
    REQUIRE(scene.install());

    std::wstring dir = scene.installDir();
    CHECK(scene.context.exitCode == 0);
    CHECK(FileText(dir + L"\\_de_install.exe") == "all-users uninstaller");
    CHECK_FALSE(FileExists(dir + L"\\_de_installu.exe"));
    CHECK(FileText(dir + L"\\foo.exe") == std::string("MZ program\0bytes", 16));
    CHECK(FileText(dir + L"\\Syntax\\deep\\more.x") == "more");
    CHECK(FileText(dir + L"\\empty.txt").empty());
    for (const wchar_t* name : {L"\\foo.exe", L"\\Colors\\light.txt", L"\\Syntax\\css.x", L"\\empty.txt"}) {
        CAPTURE(std::wstring(name));
        CHECK(LastWriteTime(dir + name) == EntryTime);
        // Wine reports every plain file as FILE_ATTRIBUTE_ARCHIVE: no other bit may be set.
        CHECK((GetFileAttributesW((dir + name).c_str()) & ~FILE_ATTRIBUTE_ARCHIVE & ~FILE_ATTRIBUTE_NORMAL) == 0);
    }
    std::string data = ReadWholeFile(dir + L"\\LumivoTestAll.de");
    std::string narrowDir(dir.begin(), dir.end());
    CHECK(data == "path=" + narrowDir + "\r\n"
                  "auto-delete-files=empty.txt|Syntax\\deep\\more.x|Syntax\\css.x|Colors\\light.txt|foo.exe\r\n"
                  "auto-delete-directories=Syntax\\deep\\|Syntax\\|Colors\\\r\n"
                  "exe-file=foo.exe\r\n"
                  "name=LumivoTestAll");

    CHECK(RegistryValueCount(false, scene.programName) == 12);
    CHECK(RegistryText(false, scene.programName, L"DisplayName") == L"LumivoTestAll");
    std::wstring command = L"\"" + dir + L"\\_de_install.exe\" \"" + dir + L"\\LumivoTestAll.de\"";
    CHECK(RegistryText(false, scene.programName, L"UninstallString") == command);
    CHECK(RegistryText(false, scene.programName, L"QuietUninstallString") == command + L" /S");
    CHECK(RegistryText(false, scene.programName, L"DisplayIcon") == dir + L"\\foo.exe");
    CHECK(RegistryText(false, scene.programName, L"Publisher") == L"Quenbar Sp. z o.o.");
    CHECK(RegistryText(false, scene.programName, L"ProductVersion") == L"1.2.3");
    CHECK(RegistryText(false, scene.programName, L"DisplayVersion") == L"1.2.3");
    CHECK(RegistryText(false, scene.programName, L"InstallLocation") == dir);
    CHECK(RegistryNumber(false, scene.programName, L"EstimatedSize") == 1); // 49 bytes
    CHECK(RegistryNumber(false, scene.programName, L"NoModify") == 1);
    CHECK(RegistryNumber(false, scene.programName, L"NoRepair") == 1);
    CHECK(RegistryText(false, scene.programName, L"URLInfoAbout") == L"https://quenbar.example/foo");

    for (int csidl : {CSIDL_COMMON_STARTMENU, CSIDL_COMMON_DESKTOPDIRECTORY}) {
        LinkInfo link = ReadLink(LinkPath(csidl, scene.programName));
        CAPTURE(csidl);
        REQUIRE(link.loaded);
        CHECK(link.path == dir + L"\\foo.exe");
        CHECK(link.description == L"LumivoTestAll");
        CHECK(link.iconPath == dir + L"\\foo.exe");
        CHECK(link.iconIndex == 0);
        CHECK(link.savedShowCommand == SW_SHOW);
    }
    CHECK_FALSE(FileExists(LinkPath(CSIDL_STARTMENU, scene.programName)));

    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Installation completed successfully.");
    CHECK(SeenAlerts()[0].title == L"LumivoTestAll Setup");
    REQUIRE(scene.statusLines.size() >= 2);
    CHECK(scene.statusLines.back().first == L"Copying files       SUCCESS");
    CHECK(scene.statusLines.back().second == L"Creating shortcuts  SUCCESS");
}

TEST_CASE("an installation for the current user, in Polish")
{
    InstallFixture scene;
    Language = LangPolish;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestUser", L"foo.exe|Colors\\light.txt", true);
    Script.startMenuShortcut = true;
    Script.titleText = L"Instalator Foo";
    ScriptValues.set(Str(L"katalogi"), Str(L"cache"));
    ScriptValues.set(Str(L"delete-directories"), Str(L"ignored"));
    ScriptValues.set(Str(L"kasuj"), Str());
    ScriptValues.set(Str(L"delete-files"), Str(L"settings.ini"));
    AnswerAlerts({0});
    REQUIRE(scene.install());

    std::wstring dir = scene.installDir();
    CHECK(FileText(dir + L"\\_de_installu.exe") == "per-user uninstaller");
    CHECK_FALSE(FileExists(dir + L"\\_de_install.exe"));
    std::string data = ReadWholeFile(dir + L"\\LumivoTestUser.de");
    std::string narrowDir(dir.begin(), dir.end());
    CHECK(data == "path=" + narrowDir + "\r\n"
                  "auto-delete-files=Colors\\light.txt|foo.exe\r\n"
                  "auto-delete-directories=Colors\\\r\n"
                  "delete-files=settings.ini\r\n"
                  "delete-directories=cache\r\n"
                  "exe-file=foo.exe\r\n"
                  "name=LumivoTestUser\r\n"
                  "private-install=1");
    CHECK(RegistryValueCount(true, scene.programName) == 8); // no publisher, version or address
    CHECK_FALSE(RegistryKeyExists(false, scene.programName));
    CHECK(RegistryText(true, scene.programName, L"UninstallString") ==
          L"\"" + dir + L"\\_de_installu.exe\" \"" + dir + L"\\LumivoTestUser.de\"");
    CHECK(ReadLink(LinkPath(CSIDL_STARTMENU, scene.programName)).loaded);
    CHECK_FALSE(FileExists(LinkPath(CSIDL_DESKTOPDIRECTORY, scene.programName)));
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Instalacja wykonana prawidłowo.");
    CHECK(SeenAlerts()[0].title == L"Instalator Foo");
    CHECK(scene.statusLines.back().second == L"Tworzenie skrótów    WYKONANO");
}

TEST_CASE("reinstalling over a read-only data file replaces it")
{
    InstallFixture scene;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestAgain", L"foo.exe", false);
    CreateDirectoryW(scene.installDir().c_str(), nullptr);
    std::wstring data = scene.installDir() + L"\\LumivoTestAgain.de";
    WriteWholeFile(data, "from an earlier installation");
    SetFileAttributesW(data.c_str(), FILE_ATTRIBUTE_READONLY);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(ReadWholeFile(data).rfind("path=", 0) == 0);
}

TEST_CASE("the Apps-list entry: the size in KiB rounded up; values an earlier installation left are removed")
{
    InstallFixture scene;
    std::vector<std::pair<std::wstring, std::string>> entries = FooEntries();
    entries.push_back({L"big.bin", std::string(2048, 'x')});
    scene.useArchive(entries, EntryTime);
    scene.useProgram(L"LumivoTestEntry", L"big.bin|foo.exe", false);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                    (L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + scene.programName).c_str(), 0,
                    nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (const wchar_t* stale : {L"DisplayVersion", L"URLInfoAbout", L"Publisher", L"ProductVersion"})
        RegSetValueExW(key, stale, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"old"), 8);
    RegCloseKey(key);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(RegistryNumber(false, scene.programName, L"EstimatedSize") == 3); // 21 + 2048 + 16 bytes
    for (const wchar_t* stale : {L"DisplayVersion", L"URLInfoAbout", L"Publisher", L"ProductVersion"})
        CHECK(RegistryText(false, scene.programName, stale) == L"<absent>");
    CHECK(RegistryValueCount(false, scene.programName) == 8);
}

} // TEST_SUITE

TEST_SUITE("failures") {

TEST_CASE("lists that are empty or reach outside the directory are refused before anything is written")
{
    const wchar_t* lists[] = {L"",
                              L"|",
                              L"foo.exe|..\\outside.txt",
                              L"foo.exe|C:\\Windows\\evil.dll",
                              L"\\evil.dll",
                              L"sub\\..\\..\\x",
                              L"foo.exe|aux.txt",
                              L"foo.exe|Colors\\CON\\x.txt",
                              L"foo.exe|notes.",
                              L"foo.exe|com1 .log"};
    for (const wchar_t* list : lists) {
        CAPTURE(std::wstring(list));
        InstallFixture scene;
        scene.useArchive(FooEntries(), EntryTime);
        scene.useProgram(L"LumivoTestRefused", list, false);
        AnswerAlerts({0});
        CHECK_FALSE(scene.install());
        CHECK_FALSE(DirectoryExists(scene.installDir()));
        REQUIRE(SeenAlerts().size() == 1);
        CHECK(SeenAlerts()[0].text == L"Invalid installation description.\nCan not install.");
        CHECK(scene.statusLines.back().first == L"Incomplete installation data.");
        CHECK(scene.context.exitCode == 1);
    }
}

TEST_CASE("a missing entry undoes everything, with one closing alert")
{
    InstallFixture scene;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestMissing", L"foo.exe|Colors\\light.txt|Syntax\\nothing.x|empty.txt", false);
    Script.startMenuShortcut = true;
    AnswerAlerts({0});
    CHECK_FALSE(scene.install());
    CheckNothingLeft(scene, false);
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text ==
          L"The program could not be installed properly.\n\n\"Syntax\\nothing.x\" not found.");
    CHECK(scene.statusLines.back().first == L"Cleaning after a failed installation");
    CHECK(scene.context.exitCode == 1);
}

TEST_CASE("a destination held open: Cancel undoes everything, Retry after release completes")
{
    for (int answer : {1, 0}) {
        CAPTURE(answer);
        InstallFixture scene;
        scene.useArchive(FooEntries(), EntryTime);
        scene.useProgram(answer ? L"LumivoTestHeldCancel" : L"LumivoTestHeldRetry",
                         L"foo.exe|Colors\\light.txt|Syntax\\css.x", false);
        Script.startMenuShortcut = true;
        Script.desktopShortcut = true;
        std::wstring dir = scene.installDir();
        CreateDirectoryW(dir.c_str(), nullptr);
        CreateDirectoryW((dir + L"\\Syntax").c_str(), nullptr);
        WriteWholeFile(dir + L"\\Syntax\\css.x", "held");
        HeldFile held(dir + L"\\Syntax\\css.x");
        AnswerAlertsReleasing({answer, 0}, held);
        bool completed = scene.install();
        held.release();
        REQUIRE(SeenAlerts().size() == 2);
        CHECK(SeenAlerts()[0].text == L"The file \"" + dir + L"\\Syntax\\css.x\"\nis currently in use, or you do "
                                      L"not have write access to the directory.\n\nPlease close all programs and "
                                      L"press the Retry button  or cancel installation by pressing the Cancel button.");
        CHECK(SeenAlerts()[0].buttons == std::vector<std::wstring>{L"Retry", L"Cancel"});
        if (answer == 1) {
            CHECK_FALSE(completed);
            // What stood there before stays; what the run made goes.
            CHECK(FolderContents(dir) == std::vector<std::wstring> {L"Syntax\\", L"Syntax\\css.x"});
            CHECK(FileText(dir + L"\\Syntax\\css.x") == "held");
            CHECK_FALSE(RegistryKeyExists(false, scene.programName));
            CHECK_FALSE(FileExists(LinkPath(CSIDL_COMMON_STARTMENU, scene.programName)));
            CHECK(SeenAlerts()[1].text == L"The program could not be installed properly.");
        } else {
            CHECK(completed);
            CHECK(FileText(dir + L"\\Syntax\\css.x") == "css");
            CHECK(RegistryKeyExists(false, scene.programName));
            CHECK(SeenAlerts()[1].text == L"Installation completed successfully.");
        }
    }
}

TEST_CASE("a link that cannot be made: Continue installs without it, Cancel undoes everything")
{
    for (int answer : {0, 1}) {
        CAPTURE(answer);
        InstallFixture scene;
        scene.useArchive(FooEntries(), EntryTime);
        scene.useProgram(answer ? L"LumivoTestLinkCancel" : L"LumivoTestLinkContinue", L"foo.exe", false);
        Script.startMenuShortcut = true;
        Script.desktopShortcut = true;
        // A folder where the Start-menu link should go makes saving the link fail.
        std::wstring blocker = LinkPath(CSIDL_COMMON_STARTMENU, scene.programName);
        CreateDirectoryW(blocker.c_str(), nullptr);
        AnswerAlerts({answer, 0});
        bool completed = scene.install();
        RemoveDirectoryW(blocker.c_str());
        REQUIRE(SeenAlerts().size() == 2);
        CHECK(SeenAlerts()[0].text == L"Failed to add a shortcut to the Start Menu.\nContinue installation?");
        CHECK(SeenAlerts()[0].buttons == std::vector<std::wstring>{L"Continue", L"Cancel"});
        if (answer == 0) {
            CHECK(completed);
            CHECK(ReadLink(LinkPath(CSIDL_COMMON_DESKTOPDIRECTORY, scene.programName)).loaded);
            CHECK(RegistryKeyExists(false, scene.programName));
        } else {
            CHECK_FALSE(completed);
            CheckNothingLeft(scene, false);
        }
    }
}

} // TEST_SUITE

TEST_SUITE("update") {

TEST_CASE("update mode writes the files and the data file only")
{
    InstallFixture scene;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestUpdate", L"foo.exe|Colors\\light.txt", false);
    Script.updateMode = true;
    Script.startMenuShortcut = true;
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(FileText(scene.installDir() + L"\\Colors\\light.txt") == "light");
    CHECK(FileExists(scene.installDir() + L"\\LumivoTestUpdate.de"));
    CHECK_FALSE(RegistryKeyExists(false, scene.programName));
    CHECK_FALSE(FileExists(LinkPath(CSIDL_COMMON_STARTMENU, scene.programName)));
    CHECK(SeenAlerts().empty());
    CHECK(scene.statusLines.back().first == L"Copying files    SUCCESS");
    CHECK(scene.context.exitCode == 0);
}

TEST_CASE("a failing update puts the previous files back and says nothing")
{
    InstallFixture scene;
    scene.useArchive(FooEntries(), EntryTime);
    scene.useProgram(L"LumivoTestUpdateFails", L"foo.exe|Colors\\light.txt|missing.dll", false);
    Script.updateMode = true;
    std::wstring dir = scene.installDir();
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteWholeFile(dir + L"\\foo.exe", "version 1");
    WriteWholeFile(dir + L"\\LumivoTestUpdateFails.de", "name=LumivoTestUpdateFails");
    std::string before = TreeState(dir);
    AnswerAlerts({0});
    CHECK_FALSE(scene.install());
    CHECK(TreeState(dir) == before);
    CHECK(SeenAlerts().empty());
    CHECK(scene.statusLines.back().first == L"Cleaning after a failed installation");
    CHECK(scene.context.exitCode == 1);
}

} // TEST_SUITE
