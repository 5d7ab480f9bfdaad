#include "doctest.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "installer/InstallFixture.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"
#include "support/ArchiveBuilder.h"

#include <windows.h>

#include <algorithm>

namespace {

const uint64_t EntryTime = 132000000000000000ULL;

typedef std::vector<std::pair<std::wstring, std::string>> Entries;

const Entries Base = {{L"_de_install.exe", "all-users uninstaller"},
                      {L"foo.exe", "program 1"},
                      {L"readme.txt", "read me, unchanged"},
                      {L"Colors\\light.txt", "light, unchanged"},
                      {L"old\\gone.txt", "a file version 2 no longer has"}};

std::u16string Units(const std::wstring& name)
{
    return std::u16string(name.begin(), name.end());
}

// Version 2 as an update over version 1: the uninstaller, readme and light colours kept, the
// program and a new file whole, old\gone.txt removed.
std::string UpdateArchive()
{
    std::string record = "base-version=1.0\nremoved=old\\gone.txt\n";
    std::string archive = Record(u"", EntryKindUpdate, record, static_cast<int32_t>(record.size()));
    for (const auto& [name, bytes] : Base) {
        if (name == L"foo.exe" || name == L"old\\gone.txt")
            continue;
        uint8_t crc[4];
        WriteU32(crc, Crc32(Bytes(bytes), static_cast<int64_t>(bytes.size())));
        archive += Record(Units(name), EntryKindKept, std::string(crc, crc + 4),
                          static_cast<int32_t>(bytes.size()), EntryTime);
    }
    return archive + ZlibRecord(u"foo.exe", "program 2", EntryTime) +
           ZlibRecord(u"new.txt", "new in 2", EntryTime) + EndRecord();
}

void UseBase(InstallFixture& scene)
{
    scene.useArchive(Base, EntryTime);
    scene.useProgram(L"LumivoTestUpdater", L"*", false);
    ScriptValues.set(Str(L"version"), Str(L"1.0"));
    scene.context.exitCode = 1;
}

void UseUpdate(InstallFixture& scene)
{
    scene.useProgram(L"LumivoTestUpdater", L"*", false);
    ScriptValues.set(Str(L"version"), Str(L"2.0"));
    scene.archive = UpdateArchive();
    ReleaseArchive();
    UseArchive(Bytes(scene.archive), static_cast<int32_t>(scene.archive.size()));
    scene.context.exitCode = 1;
    scene.logLines.clear();
}

// The update refused with one alert whose text holds what, the installation as it was.
void CheckRefused(InstallFixture& scene, const std::wstring& what)
{
    std::string before = TreeState(scene.installDir()) + RegistryState(false, scene.programName);
    UseUpdate(scene);
    AnswerAlerts({0});
    CHECK_FALSE(scene.install());
    REQUIRE(SeenAlerts().size() == 1);
    const std::wstring& text = SeenAlerts()[0].text;
    CAPTURE(std::string(text.begin(), text.end()));
    CHECK(text.find(L"This update installs LumivoTestUpdater 2.0 over version 1.0 only.") == 0);
    CHECK(text.find(what) != std::wstring::npos);
    CHECK(text.find(L"Nothing was changed.") != std::wstring::npos);
    CHECK(scene.context.exitCode == 1);
    CHECK(TreeState(scene.installDir()) + RegistryState(false, scene.programName) == before);
    StopAnsweringAlerts();
}

// The base installed afresh, its folder made by the installation (and listed in its data file).
void InstallBase(InstallFixture& scene)
{
    RemoveTree(scene.scratch.path());
    UseBase(scene);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    StopAnsweringAlerts();
}

} // namespace

TEST_SUITE("update-installer") {

TEST_CASE("an update refuses anything but its base with one alert; over its base it keeps, writes, removes")
{
    InstallFixture scene;
    InstallBase(scene);
    WriteWholeFile(scene.installDir() + L"\\readme.txt", "read me, changed");
    CheckRefused(scene, L"The installed file readme.txt differs from that of version 1.0.");
    WriteWholeFile(scene.installDir() + L"\\readme.txt", "read me, unchanged");
    DeleteFileW((scene.installDir() + L"\\Colors\\light.txt").c_str());
    CheckRefused(scene, L"The file Colors\\light.txt of version 1.0 is missing.");

    InstallBase(scene);
    std::string baseData = ReadWholeFile(scene.installDir() + L"\\LumivoTestUpdater.de");
    UseUpdate(scene);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    CHECK(scene.context.exitCode == 0);
    std::wstring dir = scene.installDir();
    CHECK(FolderContents(dir) == std::vector<std::wstring>{L"Colors\\", L"Colors\\light.txt",
                                                           L"LumivoTestUpdater.de", L"_de_install.exe",
                                                           L"foo.exe", L"new.txt", L"readme.txt"});
    CHECK(ReadWholeFile(dir + L"\\foo.exe") == "program 2");
    // The new files and version; the lines after the name, such as the folders that the base made
    // above the directory, as the base wrote them.
    std::string rest = baseData.substr(baseData.find("\r\n", baseData.find("name=")));
    REQUIRE(rest.find("\r\ncreated-directories=") != std::string::npos);
    REQUIRE(rest.find("\r\nversion=1.0") != std::string::npos);
    rest.replace(rest.find("\r\nversion=1.0"), 13, "\r\nversion=2.0");
    std::string narrowDir(dir.begin(), dir.end());
    CHECK(ReadWholeFile(dir + L"\\LumivoTestUpdater.de") ==
          "path=" + narrowDir +
              "\r\nauto-delete-files=new.txt|foo.exe|Colors\\light.txt|readme.txt\r\n"
              "auto-delete-directories=Colors\\\r\nexe-file=foo.exe\r\nname=LumivoTestUpdater" +
              rest);
    CHECK(RegistryText(false, scene.programName, L"DisplayVersion") == L"2.0");
    CHECK(std::count(scene.logLines.begin(), scene.logLines.end(), L"Kept " + dir + L"\\readme.txt (18 bytes)") == 1);
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Installation completed successfully.");
    CHECK(Leftovers(scene).empty());
}

} // TEST_SUITE
