#include "doctest.h"

#include "core/Error.h"
#include "core/FileSecurity.h"
#include "installer/InstallDirectory.h"
#include "installer/InstallFixture.h"
#include "installer/InstallHost.h"
#include "installer/Shortcut.h"
#include "installer/UninstallRegistration.h"
#include "installer/transaction/InstallJournal.h"
#include "installer/transaction/InstallTransaction.h"
#include "installer/transaction/Rollback.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"

#include <windows.h>
#include <shlobj.h>

namespace {

const uint64_t OldTime = 131000000000000000ULL; // 2016
const uint64_t NewTime = 132000000000000000ULL; // 2019

typedef std::vector<std::pair<std::wstring, std::string>> Entries;

Entries Version(int version)
{
    std::string v = std::to_string(version);
    Entries entries = {{L"_de_install.exe", "all-users uninstaller " + v},
                       {L"_de_installu.exe", "per-user uninstaller " + v},
                       {L"foo.exe", "program " + v},
                       {L"Colors\\light.txt", "light " + v},
                       {L"readme.txt", "readme " + v}};
    if (version > 1) {
        entries.push_back({L"Colors\\dark.txt", "dark " + v});
        entries.push_back({L"Syntax\\css.x", "css " + v});
    }
    return entries;
}

// Settings of version 1 or 2 of one program, for all users, with both links.
void UseVersion(InstallFixture& scene, const std::wstring& name, int version, const wchar_t* copy = nullptr)
{
    scene.useArchive(Version(version), version > 1 ? NewTime : OldTime);
    scene.useProgram(name,
                     copy          ? copy
                     : version > 1 ? L"foo.exe|Colors\\*|Syntax\\css.x|readme.txt"
                                   : L"foo.exe|Colors\\light.txt|readme.txt",
                     false);
    Script.startMenuShortcut = true;
    Script.desktopShortcut = true;
    ScriptValues.set(Str(L"publisher"), Str(L"Quenbar"));
    ScriptValues.set(Str(L"version"), Str(version > 1 ? L"2.0" : L"1.0"));
    scene.progress.clear();
    scene.statusLines.clear();
    scene.logLines.clear();
    scene.cancelAtProgress = -1;
    scene.context.exitCode = 1;
}

std::string FileOrNothing(const std::wstring& path)
{
    return FileExists(path) ? ReadWholeFile(path) : "<none>";
}

// Everything of the program that a rollback must give back as it was.
struct MachineState {
    std::string tree, registry, startLink, desktopLink;
    bool operator==(const MachineState& other) const
    {
        return tree == other.tree && registry == other.registry && startLink == other.startLink &&
               desktopLink == other.desktopLink;
    }
    bool operator!=(const MachineState& other) const { return !(*this == other); }
};

doctest::String toString(const MachineState& state)
{
    return (state.tree + state.registry + "start link: " + std::to_string(state.startLink.size()) +
            " bytes, desktop link: " + std::to_string(state.desktopLink.size()) + " bytes")
        .c_str();
}

MachineState StateOf(InstallFixture& scene)
{
    return {TreeState(scene.installDir()), RegistryState(false, scene.programName),
            FileOrNothing(LinkPath(CSIDL_COMMON_STARTMENU, scene.programName)),
            FileOrNothing(LinkPath(CSIDL_COMMON_DESKTOPDIRECTORY, scene.programName))};
}

void SetRegistryValue(const std::wstring& programName, const wchar_t* name, DWORD type, const void* data,
                      DWORD size)
{
    std::wstring path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + programName;
    HKEY key;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

// Version 1 installed whole, then touched as a user's machine is: a file of the user's, values of
// other kinds that someone else added to the key, a link of the user's own making.
void InstallVersion1(InstallFixture& scene, const std::wstring& name)
{
    UseVersion(scene, name, 1);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    StopAnsweringAlerts();
    WriteWholeFile(scene.installDir() + L"\\settings.ini", "the user's settings");
    DWORD size = 1234;
    SetRegistryValue(name, L"EstimatedSize", REG_DWORD, &size, sizeof size);
    SetRegistryValue(name, L"Blob", REG_BINARY, "\x01\x02\x00\xff", 4);
    SetRegistryValue(name, L"Names", REG_MULTI_SZ, L"a\0b\0", 10);
    SetRegistryValue(name, L"ProductVersion", REG_SZ, L"1.0-patched", 24);
    WriteWholeFile(LinkPath(CSIDL_COMMON_DESKTOPDIRECTORY, name), "a link the user made");
}

// The directory held as an installation holds it, for the steps of a run done by hand.
struct Held {
    explicit Held(const std::wstring& dir)
    {
        REQUIRE(PrepareDirectory(host, Str(dir.c_str()), false, directory) == DirectoryOutcome::Ready);
    }
    InstallHost host;
    PreparedDirectory directory;
};

// What the next run does first; the directory it holds afterwards.
void Recover(Held& held, const std::wstring& programName)
{
    RecoverInterruptedInstall(held.host, held.directory, Str(programName.c_str()), false);
}

void Recover(const std::wstring& dir, const std::wstring& programName)
{
    Held held(dir);
    Recover(held, programName);
}

// A journal as one planted in the directory would be: this program's, then the records.
std::wstring PlantJournal(const std::wstring& dir, const std::wstring& programName, const std::wstring& records)
{
    std::wstring folder = dir + L"\\lumivo-rollback$$";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring text = std::wstring(JournalMarker) + L"\nprogram\t" + programName + L"\ndir\t" + dir + L"\n" + records;
    WriteWholeFile(folder + L"\\journal", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    return folder + L"\\journal";
}

std::wstring Hex(const void* bytes, size_t count)
{
    std::wstring hex;
    for (size_t i = 0; i < count; i++) {
        hex += L"0123456789abcdef"[static_cast<const uint8_t*>(bytes)[i] >> 4];
        hex += L"0123456789abcdef"[static_cast<const uint8_t*>(bytes)[i] & 15];
    }
    return hex;
}

bool LogHas(const InstallFixture& scene, const std::wstring& start)
{
    for (const std::wstring& line : scene.logLines)
        if (line.compare(0, start.size(), start) == 0)
            return true;
    return false;
}

} // namespace

TEST_SUITE("rollback") {

TEST_CASE("an upgrade cancelled at any file leaves version 1 as it was; a first installation leaves nothing")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestUpgradeCancel");
    MachineState before = StateOf(scene);
    // Progress comes at the start, after the uninstaller and after each of the five files.
    for (int at = 1; at <= 7; at++) {
        CAPTURE(at);
        UseVersion(scene, L"LumivoTestUpgradeCancel", 2);
        scene.cancelAtProgress = at;
        AnswerAlerts({0});
        CHECK_FALSE(scene.install());
        CHECK(StateOf(scene) == before);
        REQUIRE(SeenAlerts().size() == 1);
        CHECK(SeenAlerts()[0].text == L"The program could not be installed properly.");
        CHECK(scene.context.exitCode == 1);
    }

    InstallFixture first;
    for (int at = 1; at <= 7; at++) {
        CAPTURE(at);
        UseVersion(first, L"LumivoTestFirstCancel", 2);
        first.cancelAtProgress = at;
        AnswerAlerts({0});
        CHECK_FALSE(first.install());
        CHECK_FALSE(DirectoryExists(first.installDir()));
        CHECK(RegistryState(false, first.programName) == "<no key>");
        CHECK_FALSE(FileExists(LinkPath(CSIDL_COMMON_STARTMENU, first.programName)));
    }
}

TEST_CASE("an upgrade held at a file: Cancel gives version 1 back, Retry after release installs version 2")
{
    for (int answer : {1, 0}) {
        CAPTURE(answer);
        InstallFixture scene;
        std::wstring name = answer ? L"LumivoTestHeldUpgradeCancel" : L"LumivoTestHeldUpgradeRetry";
        InstallVersion1(scene, name);
        MachineState before = StateOf(scene);
        std::wstring dir = scene.installDir();
        UseVersion(scene, name, 2);
        HeldFile held(dir + L"\\readme.txt");
        AnswerAlertsReleasing({answer, 0}, held);
        bool completed = scene.install();
        held.release();
        REQUIRE(SeenAlerts().size() == 2);
        CHECK(SeenAlerts()[0].text.find(dir + L"\\readme.txt\"\nis currently in use") != std::wstring::npos);
        if (answer == 1) {
            CHECK_FALSE(completed);
            CHECK(StateOf(scene) == before);
            CHECK(LogHas(scene, L"Restored " + dir + L"\\foo.exe"));
            CHECK(LogHas(scene, L"Deleted " + dir + L"\\Colors\\dark.txt"));
            CHECK(LogHas(scene, L"Removed directory " + dir + L"\\Syntax\\"));
        } else {
            CHECK(completed);
            CHECK(ReadWholeFile(dir + L"\\foo.exe") == "program 2");
            CHECK(ReadWholeFile(dir + L"\\readme.txt") == "readme 2");
            CHECK(ReadWholeFile(dir + L"\\Syntax\\css.x") == "css 2");
            CHECK(LastWriteTime(dir + L"\\foo.exe") == NewTime);
            CHECK(ReadWholeFile(dir + L"\\settings.ini") == "the user's settings");
            CHECK(Leftovers(scene).empty());
            CHECK(RegistryText(false, name, L"ProductVersion") == L"2.0");
            CHECK(RegistryText(false, name, L"DisplayName") == name);
            CHECK(ReadWholeFile(LinkPath(CSIDL_COMMON_DESKTOPDIRECTORY, name)) != "a link the user made");
            // The log names every step.
            CHECK(LogHas(scene, L"Kept the previous " + dir + L"\\foo.exe as " + dir + L"\\foo.exe."));
            CHECK(LogHas(scene, L"Created directory " + dir + L"\\Syntax\\"));
            CHECK(LogHas(scene, L"Wrote " + dir + L"\\foo.exe (9 bytes)"));
            CHECK(LogHas(scene, L"Created the shortcut " + LinkPath(CSIDL_COMMON_DESKTOPDIRECTORY, name)));
            CHECK(LogHas(scene, L"Registry HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                    name + L": DisplayName = " + name));
            CHECK(LogHas(scene, L"Wrote " + dir + L"\\" + name + L".de"));
            CHECK(LogHas(scene, L"Deleted the kept previous files and the journal of the installation in " + dir));
        }
    }
}

TEST_CASE("a data file held at the end: the key's values of every kind and the links come back")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestHeldData");
    MachineState before = StateOf(scene);
    UseVersion(scene, L"LumivoTestHeldData", 2);
    std::wstring data = scene.installDir() + L"\\LumivoTestHeldData.de";
    HeldFile held(data);
    AnswerAlerts({1, 0});
    CHECK_FALSE(scene.install());
    held.release();
    REQUIRE(SeenAlerts().size() == 2);
    CHECK(SeenAlerts()[0].text.find(data) != std::wstring::npos);
    CHECK(StateOf(scene) == before);
    CHECK(LogHas(scene, L"Restored the registry key Software\\Microsoft\\Windows\\"));
}

TEST_CASE("read-only and hidden files are replaced, and restored with their attributes")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestAttributes");
    std::wstring dir = scene.installDir();
    SetFileAttributesW((dir + L"\\foo.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((dir + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((dir + L"\\_de_install.exe").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((dir + L"\\LumivoTestAttributes.de").c_str(), FILE_ATTRIBUTE_READONLY);
    MachineState before = StateOf(scene);

    UseVersion(scene, L"LumivoTestAttributes", 2, L"foo.exe|readme.txt|missing.dll");
    AnswerAlerts({0});
    CHECK_FALSE(scene.install());
    CHECK(StateOf(scene) == before);

    UseVersion(scene, L"LumivoTestAttributes", 2);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(SeenAlerts()[0].text == L"Installation completed successfully.");
    for (const wchar_t* name :
         {L"\\foo.exe", L"\\readme.txt", L"\\_de_install.exe", L"\\LumivoTestAttributes.de"}) {
        CAPTURE(std::wstring(name));
        DWORD attributes = GetFileAttributesW((dir + name).c_str());
        CHECK((attributes & ~FILE_ATTRIBUTE_ARCHIVE & ~FILE_ATTRIBUTE_NORMAL) == 0);
    }
    CHECK(ReadWholeFile(dir + L"\\foo.exe") == "program 2");
    CHECK(Leftovers(scene).empty());
}

TEST_CASE("a directory given with a trailing backslash (doubled in the uninstaller's path) is put back whole")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestTrailing");
    MachineState before = StateOf(scene);
    UseVersion(scene, L"LumivoTestTrailing", 2, L"foo.exe|missing.dll");
    Script.installDir = Str((scene.installDir() + L"\\").c_str());
    AnswerAlerts({0});
    CHECK_FALSE(scene.install());
    CHECK(StateOf(scene) == before);
}

TEST_CASE("a link that cannot be replaced: Continue keeps the one that stood there")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestLinkHeld");
    std::wstring link = LinkPath(CSIDL_COMMON_DESKTOPDIRECTORY, scene.programName);
    UseVersion(scene, L"LumivoTestLinkHeld", 2);
    HeldFile held(link);
    AnswerAlerts({0, 0});
    bool completed = scene.install();
    held.release();
    CHECK(completed);
    REQUIRE(SeenAlerts().size() == 2);
    CHECK(SeenAlerts()[0].text == L"Failed to add a shortcut to the Desktop.\nContinue installation?");
    CHECK(ReadWholeFile(link) == "a link the user made");
    CHECK(Leftovers(scene).empty());
}

} // TEST_SUITE

TEST_SUITE("recovery") {

TEST_CASE("journal records keep tabs, line breaks and percent signs; a line cut short is not read")
{
    Str record = JournalRecord(L"put", {Str(L"a\tb"), Str(L"c\nd%0A"), Str()});
    CHECK(std::wstring(record.text()) == L"put\ta%09b\tc%0Ad%250A\t\n");
    StrArray lines = JournalLines(Concat(record, Str(L"new\t3\nskip\t")));
    REQUIRE(lines.length() == 2);
    CHECK(lines.ref(1) == L"new\t3");
    StrArray fields = JournalFields(lines.ref(0));
    REQUIRE(fields.length() == 4);
    CHECK(fields.ref(1) == L"a\tb");
    CHECK(fields.ref(2) == L"c\nd%0A");
    CHECK(fields.ref(3).isEmpty());
}

TEST_CASE("a run killed after any step is undone by the next one, which then installs")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestKilled");
    MachineState before = StateOf(scene);
    std::wstring dir = scene.installDir();
    std::wstring link = LinkPath(CSIDL_COMMON_STARTMENU, scene.programName);
    Str keyPath = UninstallKeyPath(Str(scene.programName.c_str()));
    const int stepCount = 9;
    for (int stop = 0; stop <= stepCount; stop++) {
        CAPTURE(stop);
        {
            // What an installation does, step by step; leaving the scope at the stop point closes
            // every handle as a killed process does, and leaves the rest on disk.
            Held held(dir);
            InstallTransaction transaction;
            BeginTransaction(transaction, held.host, held.directory, Str(scene.programName.c_str()), false);
            PutStep program, css, startLink, data;
            const char bytes[] = "new bytes";
            for (int step = 0; step < stop; step++) {
                switch (step) {
                case 0: StageFile(transaction, program, Str((dir + L"\\foo.exe").c_str()),
                                  reinterpret_cast<const uint8_t*>(bytes), 9, &NewTime); break;
                case 1: CommitFile(transaction, program); break;
                case 2: MakeDirectory(transaction, Str((dir + L"\\Syntax").c_str())); break;
                case 3: StageFile(transaction, css, Str((dir + L"\\Syntax\\css.x").c_str()),
                                  reinterpret_cast<const uint8_t*>(bytes), 9, &NewTime); break;
                case 4: CommitFile(transaction, css); break;
                case 5: ClearPath(transaction, startLink, Str(link.c_str()));
                        WriteWholeFile(link, "a new link"); break;
                case 6: SaveKey(transaction, HKEY_LOCAL_MACHINE, keyPath);
                        SetRegistryValue(scene.programName, L"DisplayName", REG_SZ, L"changed", 16);
                        SetRegistryValue(scene.programName, L"URLInfoAbout", REG_SZ, L"x", 4); break;
                case 7: StageFile(transaction, data, Str((dir + L"\\LumivoTestKilled.de").c_str()),
                                  reinterpret_cast<const uint8_t*>(bytes), 9, nullptr); break;
                case 8: CommitFile(transaction, data); break;
                }
            }
        }
        if (stop > 0)
            CHECK(StateOf(scene) != before);
        Recover(dir, scene.programName);
        CHECK(StateOf(scene) == before);
    }

    // A journal whose run had been made final only loses its kept files.
    {
        Held held(dir);
        InstallTransaction transaction;
        BeginTransaction(transaction, held.host, held.directory, Str(scene.programName.c_str()), false);
        PutStep program;
        StageFile(transaction, program, Str((dir + L"\\foo.exe").c_str()),
                  reinterpret_cast<const uint8_t*>("final"), 5, &NewTime);
        CommitFile(transaction, program);
        AppendJournal(transaction.journal, JournalRecord(L"commit"));
    }
    Recover(dir, scene.programName);
    CHECK(ReadWholeFile(dir + L"\\foo.exe") == "final");
    CHECK(Leftovers(scene).empty());

    // And an installation that finds leftovers undoes them first, then installs.
    {
        Held held(dir);
        InstallTransaction transaction;
        BeginTransaction(transaction, held.host, held.directory, Str(scene.programName.c_str()), false);
        PutStep program;
        StageFile(transaction, program, Str((dir + L"\\foo.exe").c_str()),
                  reinterpret_cast<const uint8_t*>("x"), 1, nullptr);
    }
    UseVersion(scene, L"LumivoTestKilled", 2);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(ReadWholeFile(dir + L"\\foo.exe") == "program 2");
    CHECK(Leftovers(scene).empty());
    CHECK(scene.statusLines[2].first == L"Undoing an interrupted installation..."); // after the directory
}

TEST_CASE("a killed first installation is undone by the next run, which takes its folder over")
{
    InstallFixture scene;
    UseVersion(scene, L"LumivoTestKilledFirst", 2);
    std::wstring dir = scene.installDir();
    {
        Held held(dir);
        REQUIRE(held.directory.created.length() == 1);
        InstallHost& host = held.host;
        InstallTransaction transaction;
        BeginTransaction(transaction, host, held.directory, Str(scene.programName.c_str()), false);
        MakeDirectory(transaction, Str((dir + L"\\Colors").c_str()));
        PutStep light;
        StageFile(transaction, light, Str((dir + L"\\Colors\\light.txt").c_str()),
                  reinterpret_cast<const uint8_t*>("light"), 5, nullptr);
        CommitFile(transaction, light);
        SaveKey(transaction, HKEY_LOCAL_MACHINE, UninstallKeyPath(Str(scene.programName.c_str())));
        InstallHost silent;
        silent.silent = true;
        RegisterUninstaller(silent, HKEY_LOCAL_MACHINE, UninstallKeyPath(Str(scene.programName.c_str())),
                            Str(scene.programName.c_str()), Str(L"cmd"), Str(L"icon"), Str(), Str(), Str(dir.c_str()),
                            0, Str());
    }
    Held held(dir);
    Recover(held, scene.programName);
    CHECK(RegistryState(false, scene.programName) == "<no key>");
    // The folder the killed run made is this run's now: it goes if this run fails too.
    REQUIRE(held.directory.created.length() == 1);
    CHECK(held.directory.created.ref(0) == Str(dir.c_str()));
    ReleaseDirectory(held.directory);
    CHECK_FALSE(DirectoryExists(dir));
}

TEST_CASE("leftovers that are not this program's are left alone, and the installation stops naming them")
{
    InstallFixture scene;
    UseVersion(scene, L"LumivoTestForeign", 2);
    std::wstring dir = scene.installDir();
    std::wstring folder = dir + L"\\lumivo-rollback$$";
    REQUIRE(CreateDirectoryW(dir.c_str(), nullptr));
    REQUIRE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring journal = std::wstring(JournalMarker) + L"\nprogram\tSomething Else\ndir\t" + dir + L"\n";
    WriteWholeFile(folder + L"\\journal",
                   std::string(reinterpret_cast<const char*>(journal.data()), journal.size() * 2));
    WriteWholeFile(dir + L"\\foo.exe.0123456789abcdef$$", "kept by someone else");
    std::string before = TreeState(dir);
    AnswerAlerts({0});
    try {
        scene.install();
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(e.code == ERROR_ALREADY_EXISTS);
        CHECK(std::wstring(e.text) == folder);
    }
    CHECK(TreeState(dir) == before);
    CHECK(SeenAlerts().empty());
    RemoveTree(dir);
}

TEST_CASE("a planted journal: one others could change, a huge one or impossible steps are refused; foreign records are ignored")
{
    InstallFixture scene;
    InstallVersion1(scene, L"LumivoTestPlanted");
    std::wstring dir = scene.installDir(), name = scene.programName, program = dir + L"\\foo.exe";
    std::wstring deleteProgram = L"create\t0\t" + program + L"\n";
    std::string tree = TreeState(dir);
    std::wstring keyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;

    // Elevated, a journal that users without administrator rights could have written is not obeyed.
    std::wstring journal = PlantJournal(dir, name, deleteProgram);
    {
        Held held(dir);
        held.host.onlyAdministratorsCanChange = [](InstallHost&, void*, const Str& path, ChangeScope) {
            return !(path.length() > 8 && Str(path.text() + path.length() - 8) == L"\\journal");
        };
        try {
            Recover(held, name);
            FAIL("obeyed");
        } catch (const WinError& error) {
            CHECK(error.code == ERROR_ALREADY_EXISTS);
            CHECK(std::wstring(error.text) == dir + L"\\lumivo-rollback$$");
        }
    }
    // Neither one that numbers a step no installation could have written, nor one of absurd size.
    PlantJournal(dir, name, L"create\t999999999999\t" + program + L"\n");
    CHECK_THROWS_AS(Recover(dir, name), Error);
    PlantJournal(dir, name, deleteProgram);
    {
        HANDLE file = CreateFileW(journal.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = LargestJournal + 2;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    CHECK_THROWS_AS(Recover(dir, name), Error);
    CHECK(ReadWholeFile(program) == "program 1");

    // One that is obeyed touches only this kind of installation's links and key, and only the
    // values the key's own installation writes.
    std::wstring userLink = LinkPath(CSIDL_STARTMENU, name), planted = userLink + L".0123456789abcdef$$";
    WriteWholeFile(userLink, "the user's own link");
    WriteWholeFile(planted, "planted");
    HKEY userKey = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &userKey,
                            nullptr) == ERROR_SUCCESS);
    RegCloseKey(userKey);
    std::wstring valueName = L"AppInit", valueData = L"C:\\evil.dll";
    std::string startLink = ReadWholeFile(LinkPath(CSIDL_COMMON_STARTMENU, name));
    PlantJournal(dir, name,
                 L"put\t0\t" + userLink + L"\t" + planted + L"\t\n" + L"key\tHKCU\t0\t" + keyPath +
                     L"\nkey-saved\n" + L"key\tHKLM\t1\t" + keyPath + L"\nvalue\t" +
                     Hex(valueName.data(), valueName.size() * 2) + L"\t1\t" +
                     Hex(valueData.c_str(), (valueData.size() + 1) * 2) + L"\nkey-saved\n");
    Recover(dir, name);
    CHECK(TreeState(dir) == tree);
    CHECK(ReadWholeFile(LinkPath(CSIDL_COMMON_STARTMENU, name)) == startLink);
    CHECK(RegistryText(false, name, L"AppInit") == L"<absent>");
    CHECK(RegistryValueCount(false, name) == 2); // the journal claimed none of the program's: others' stay
    CHECK(ReadWholeFile(userLink) == "the user's own link");
    CHECK(ReadWholeFile(planted) == "planted");
    CHECK(RegistryKeyExists(true, name));
    CHECK_FALSE(DirectoryExists(dir + L"\\lumivo-rollback$$"));
    DeleteFileW(planted.c_str());
}

TEST_CASE("recovery meets a file in use as the copy loop does: asked about, or retried silently")
{
    for (int answer : {0, 1, -1}) { // Retry, Cancel, silent
        CAPTURE(answer);
        InstallFixture scene;
        InstallVersion1(scene, L"LumivoTestRecoverHeld");
        std::wstring dir = scene.installDir(), program = dir + L"\\foo.exe";
        {
            Held held(dir); // a run killed after it replaced foo.exe
            InstallTransaction transaction;
            BeginTransaction(transaction, held.host, held.directory, Str(scene.programName.c_str()), false);
            PutStep step;
            StageFile(transaction, step, Str(program.c_str()), reinterpret_cast<const uint8_t*>("killed"), 6, nullptr);
            CommitFile(transaction, step);
        }
        UseVersion(scene, L"LumivoTestRecoverHeld", 2);
        HeldFile held(program);
        if (answer == 0) {
            AnswerAlertsReleasing({0, 0}, held);
        } else if (answer == 1) {
            AnswerAlerts({1});
        } else {
            scene.silent = true;
            scene.atProgress = [&] {
                for (const std::wstring& line : scene.logLines)
                    if (line.find(L"is currently in use") != std::wstring::npos)
                        held.release();
            };
        }
        bool installed = scene.install();
        held.release();
        CHECK(installed == (answer != 1));
        if (answer >= 0) {
            REQUIRE(!SeenAlerts().empty());
            CHECK(SeenAlerts()[0].text.find(L"foo.exe\"\nis currently in use") != std::wstring::npos);
        }
        // Cancel leaves the interrupted run as it was, for the next one.
        CHECK(ReadWholeFile(program) == (answer == 1 ? "killed" : "program 2"));
        CHECK(DirectoryExists(dir + L"\\lumivo-rollback$$") == (answer == 1));
    }
}

} // TEST_SUITE
