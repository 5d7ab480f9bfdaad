#include "doctest.h"

#include "installer/InstallFixture.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"

#include <windows.h>
#include <aclapi.h>

namespace {

const uint64_t EntryTime = 132000000000000000ULL;

std::vector<std::pair<std::wstring, std::string>> Entries()
{
    return {{L"_de_install.exe", "all-users uninstaller"},
            {L"_de_installu.exe", "per-user uninstaller"},
            {L"foo.exe", "MZ program"},
            {L"docs\\readme.txt", "read me"}};
}

// Whether the folder's access list, as the system reports it, has an entry for Everyone.
bool EveryoneHasEntry(const std::wstring& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, &descriptor) == ERROR_SUCCESS);
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    REQUIRE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
    bool found = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; i++) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&entry)))
            found = found || EqualSid(&entry->SidStart, everyone);
    }
    LocalFree(descriptor);
    return found;
}

bool IsEmptyDirectory(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    int entries = 0;
    do
        entries++; // "." and ".." included
    while (FindNextFileW(find, &found));
    FindClose(find);
    return entries == 2;
}

} // namespace

TEST_SUITE("directory") {

TEST_CASE("missing parents are created, the outermost first, and go again when the installation fails")
{
    for (bool complete : {true, false}) {
        CAPTURE(complete);
        InstallFixture scene;
        scene.useArchive(Entries(), EntryTime);
        const wchar_t* copy = complete ? L"foo.exe|docs\\readme.txt" : L"foo.exe|missing.dll";
        scene.useProgram(L"LumivoTestParents", copy, true);
        std::wstring dir = scene.scratch.path(L"Outer\\Middle\\LumivoTestParents");
        Script.installDir = dir.c_str();
        AnswerAlerts({0});
        CHECK(scene.install() == complete);
        if (complete) {
            CHECK(ReadWholeFile(dir + L"\\docs\\readme.txt") == "read me");
            // The uninstaller learns which folders above the directory were made for it.
            std::wstring above = scene.scratch.path(L"Outer\\Middle\\|") + scene.scratch.path(L"Outer\\");
            std::string data = ReadWholeFile(dir + L"\\LumivoTestParents.de");
            CHECK(data.find("\r\ncreated-directories=" + std::string(above.begin(), above.end())) !=
                  std::string::npos);
        } else {
            CHECK_FALSE(DirectoryExists(scene.scratch.path(L"Outer")));
            CHECK(SeenAlerts().back().text ==
                  L"The program could not be installed properly.\n\n\"missing.dll\" not found.");
        }
    }
}

TEST_CASE("a directory that cannot be created is reported and nothing is left")
{
    InstallFixture scene;
    scene.useArchive(Entries(), EntryTime);
    scene.useProgram(L"LumivoTestNoDir", L"foo.exe", false);
    WriteWholeFile(scene.scratch.path(L"plain.txt"), "a file, not a folder");
    std::wstring dir = scene.scratch.path(L"plain.txt\\Sub\\LumivoTestNoDir");
    Script.installDir = dir.c_str();
    AnswerAlerts({0});
    CHECK_FALSE(scene.install());
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Failed to create directory\n" + dir);
    CHECK(scene.statusLines.back().first == L"Creating directory    FAILED");
    CHECK(ReadWholeFile(scene.scratch.path(L"plain.txt")) == "a file, not a folder");
    CHECK_FALSE(RegistryKeyExists(false, scene.programName));
}

TEST_CASE("for all users a folder that standard users can change is refused; per user it is taken")
{
    for (bool perUser : {false, true}) {
        CAPTURE(perUser);
        InstallFixture scene;
        scene.useArchive(Entries(), EntryTime);
        scene.useProgram(L"LumivoTestPrepared", L"foo.exe", perUser);
        isAdmin = !perUser;
        std::wstring dir = scene.installDir();
        REQUIRE(CreateDirectoryW(dir.c_str(), nullptr));
        LetEveryoneChange(dir);
        AnswerAlerts({0, 0});
        bool installed = scene.install();
        if (perUser) {
            CHECK(installed);
            CHECK(ReadWholeFile(dir + L"\\foo.exe") == "MZ program");
            continue;
        }
        CHECK_FALSE(installed);
        REQUIRE(SeenAlerts().size() == 1);
        CHECK(SeenAlerts()[0].text ==
              L"The installation directory\n" + dir +
                  L"\ncan be changed by users without administrator rights, so a program for all users "
                  L"cannot be installed into it safely: they could replace its files.\n\nNothing has been "
                  L"installed. Run the installer again and choose another directory.");
        CHECK(scene.statusLines.back().first == L"Creating directory    FAILED");
        CHECK(IsEmptyDirectory(dir));
        CHECK_FALSE(RegistryKeyExists(false, scene.programName));
        CHECK(scene.context.exitCode == 1);
    }
}

TEST_CASE("folders that an installation for all users creates outside the program folder let no one else in")
{
    InstallFixture scene;
    scene.useArchive(Entries(), EntryTime);
    scene.useProgram(L"LumivoTestProtected", L"foo.exe|docs\\readme.txt", false);
    std::wstring outer = scene.scratch.path(L"Tools"), dir = outer + L"\\LumivoTestProtected";
    Script.installDir = dir.c_str();
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(ReadWholeFile(dir + L"\\foo.exe") == "MZ program");
    CHECK_FALSE(EveryoneHasEntry(outer));
    CHECK_FALSE(EveryoneHasEntry(dir));
}

} // TEST_SUITE
