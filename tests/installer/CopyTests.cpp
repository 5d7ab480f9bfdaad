// The copy loop behind its read-ahead workers: hundreds of files, most of them written ahead of the
// loop by the workers that unpack them, and the faults that must still surface in list order.
#include "doctest.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryPipeline.h"
#include "core/Error.h"
#include "installer/InstallFile.h"
#include "installer/InstallFixture.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"
#include "support/ArchiveBuilder.h"
#include "support/WaitFor.h"

#include <windows.h>

#include <algorithm>
#include <string.h>
#include <string>
#include <vector>

namespace {

const uint64_t OldTime = 131000000000000000ULL; // 2016
const uint64_t NewTime = 132000000000000000ULL; // 2019

typedef std::vector<std::pair<std::wstring, std::string>> Entries;

std::string Content(const std::wstring& name, int version, size_t size)
{
    std::string text;
    for (int line = 0; text.size() < size; line++)
        text += std::string(name.begin(), name.end()) + " version " + std::to_string(version) + " line " +
                std::to_string(line) + "\n";
    text.resize(size);
    return text;
}

std::wstring Numbered(const wchar_t* folder, int i)
{
    return std::wstring(folder) + L"\\d" + std::to_wstring(i % 7) + L"\\file" + std::to_wstring(1000 + i) + L".txt";
}

// The uninstallers, foo.exe and readme.txt, then count files under each folder given.
Entries TestPayload(int version, std::initializer_list<std::pair<const wchar_t*, int>> folders)
{
    Entries entries = {{L"_de_install.exe", "uninstaller " + std::to_string(version)},
                       {L"_de_installu.exe", "per-user uninstaller"},
                       {L"foo.exe", "program " + std::to_string(version)},
                       {L"readme.txt", "readme " + std::to_string(version)}};
    for (const auto& folder : folders)
        for (int i = 0; i < folder.second; i++) {
            std::wstring name = Numbered(folder.first, i);
            entries.push_back({name, Content(name, version, 200 + (i * 397) % 5000)});
        }
    return entries;
}

// The destinations of the "Wrote" lines of the log, in order.
std::vector<std::wstring> WrittenInOrder(const InstallFixture& scene)
{
    std::vector<std::wstring> written;
    const std::wstring prefix = L"Wrote " + scene.installDir() + L"\\";
    for (const std::wstring& line : scene.logLines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            written.push_back(line.substr(prefix.size(), line.rfind(L" (") - prefix.size()));
    return written;
}

// Flips a bit of the stored data of the entry named name in the scene's archive.
void Damage(InstallFixture& scene, const wchar_t* name)
{
    const uint8_t* record = FindEntry(name, -1);
    REQUIRE(record != nullptr);
    size_t offset = static_cast<size_t>(record - reinterpret_cast<const uint8_t*>(scene.archive.data()));
    uint32_t nameLength = record[24] | record[25] << 8;
    scene.archive[offset + 28 + 2 * nameLength] ^= 0x10;
}

} // namespace

TEST_SUITE("copying") {

TEST_CASE("hundreds of files: each in place with its bytes and time, reported in list order; a large one in steps")
{
    InstallFixture scene;
    Entries entries = TestPayload(1, {{L"many", 400}});
    const int32_t bigSize = 10 << 20;
    entries.push_back({L"big.bin", Content(L"big.bin", 1, bigSize)});
    scene.useArchive(entries, NewTime);
    scene.useProgram(L"LumivoTestCopyMany", L"foo.exe|many\\*|big.bin|readme.txt", false);
    AnswerAlerts({0});
    REQUIRE(scene.install());
    std::wstring dir = scene.installDir();
    std::vector<std::wstring> expected = {L"_de_install.exe", L"foo.exe"};
    for (int i = 0; i < 400; i++)
        expected.push_back(Numbered(L"many", i)); // "many\\*" takes the archive's order
    expected.push_back(L"big.bin");
    expected.push_back(L"readme.txt");
    expected.push_back(L"LumivoTestCopyMany.de");
    CHECK(WrittenInOrder(scene) == expected);
    for (const auto& entry : entries) {
        if (entry.first == L"_de_installu.exe")
            continue;
        CAPTURE(std::string(entry.first.begin(), entry.first.end()));
        REQUIRE(ReadWholeFile(dir + L"\\" + entry.first) == entry.second);
        CHECK(LastWriteTime(dir + L"\\" + entry.first) == NewTime);
    }
    CHECK(Leftovers(scene).empty());
    CHECK_FALSE(DirectoryExists(dir + L"\\lumivo-rollback$$"));

    // Progress never goes back, ends at the total, and moves inside the large file every 4 MiB.
    int64_t total = scene.progress.back().second;
    CHECK(scene.progress.back().first == total);
    int64_t beforeBig = 0;
    for (const auto& entry : entries)
        if (entry.first != L"_de_installu.exe" && entry.first != L"readme.txt" && entry.first != L"big.bin")
            beforeBig += static_cast<int64_t>(entry.second.size());
    std::vector<int64_t> inside;
    for (size_t i = 0; i < scene.progress.size(); i++) {
        CHECK(scene.progress[i].second == total);
        if (i > 0)
            CHECK(scene.progress[i].first >= scene.progress[i - 1].first);
        if (scene.progress[i].first > beforeBig && scene.progress[i].first < beforeBig + bigSize)
            inside.push_back(scene.progress[i].first - beforeBig);
    }
    CHECK(inside == std::vector<int64_t>{4 << 20, 8 << 20});
}

TEST_CASE("files of every size around a slice, of every kind, new and then replaced: every byte and time")
{
    // Literal runs of kind 0: unpacked whole, in a slice or a buffer of their own.
    auto runs = [](const std::string& data) {
        std::string packed;
        for (size_t at = 0; at < data.size(); at += 127) {
            size_t n = std::min<size_t>(127, data.size() - at);
            packed += static_cast<char>(n);
            packed += data.substr(at, n);
        }
        return packed;
    };
    const size_t sizes[] = {0, 1, SliceSize - 1, SliceSize, SliceSize + 1, 3 * SliceSize + 7,
                            EntryQueueLimit + SliceSize + 3};
    InstallFixture scene;
    Entries entries;
    std::wstring copy = L"foo.exe";
    for (int version : {1, 2}) {
        CAPTURE(version);
        entries = {{L"_de_install.exe", "uninstaller " + std::to_string(version)}, {L"foo.exe", "program"}};
        scene.archive.clear();
        for (const auto& entry : entries)
            scene.archive += ZlibRecord(std::u16string(entry.first.begin(), entry.first.end()), entry.second, NewTime);
        for (size_t size : sizes)
            for (const char* kind : {"zlib", "stored", "runs"}) {
                std::wstring name = L"sizes\\" + std::wstring(kind, kind + strlen(kind)) + std::to_wstring(size) + L".bin";
                std::string data = Content(name, version, size);
                std::u16string name16(name.begin(), name.end());
                uint64_t time = NewTime + version * 1000 + size;
                if (kind[0] == 'z')
                    scene.archive += ZlibRecord(name16, data, time);
                else if (kind[0] == 's')
                    scene.archive += RawRecord(name16, data, time);
                else
                    scene.archive += size ? Record(name16, EntryKindRuns, runs(data), static_cast<int32_t>(size), time)
                                          : RawRecord(name16, data, time);
                entries.push_back({name, data});
                if (version == 1)
                    copy += L"|" + name;
            }
        scene.archive += EndRecord();
        ReleaseArchive();
        UseArchive(Bytes(scene.archive), static_cast<int32_t>(scene.archive.size()));
        scene.useProgram(L"LumivoTestSliceSizes", copy, false);
        AnswerAlerts({0});
        REQUIRE(scene.install());
        std::wstring dir = scene.installDir();
        for (size_t i = 2; i < entries.size(); i++) {
            CAPTURE(std::string(entries[i].first.begin(), entries[i].first.end()));
            REQUIRE(ReadWholeFile(dir + L"\\" + entries[i].first) == entries[i].second);
            size_t size = entries[i].second.size();
            CHECK(LastWriteTime(dir + L"\\" + entries[i].first) == NewTime + version * 1000 + size);
        }
        CHECK(Leftovers(scene).empty());
    }
}

TEST_CASE("a damaged entry in the middle: the files before it are written in order, then everything is undone")
{
    for (bool upgrade : {false, true}) {
        CAPTURE(upgrade);
        InstallFixture scene;
        std::wstring name = upgrade ? L"LumivoTestDamagedUpgrade" : L"LumivoTestDamagedFirst";
        std::string before;
        if (upgrade) {
            scene.useArchive(TestPayload(1, {{L"many", 100}}), OldTime);
            scene.useProgram(name, L"foo.exe|many\\*|readme.txt", false);
            AnswerAlerts({0});
            REQUIRE(scene.install());
            before = TreeState(scene.installDir());
        }
        Entries entries = TestPayload(2, {{L"many", 300}});
        scene.useArchive(entries, NewTime);
        std::wstring damaged = Numbered(L"many", 150);
        Damage(scene, damaged.c_str());
        scene.useProgram(name, L"foo.exe|many\\*|readme.txt", false);
        scene.logLines.clear();
        AnswerAlerts({0});
        CHECK_FALSE(scene.install());
        REQUIRE(SeenAlerts().size() == 1);
        CHECK(SeenAlerts()[0].text ==
              L"The program could not be installed properly.\n\nCorrupted file \"" + damaged + L"\".");
        // The loop wrote every file before the damaged one, in order, and none after it (the workers
        // may have written later ones ahead: those went with the rest).
        std::vector<std::wstring> written = WrittenInOrder(scene);
        REQUIRE(written.size() >= 3);
        CHECK(written[written.size() - 1] != damaged);
        std::vector<std::wstring> many;
        for (int i = 0; i < 300; i++)
            many.push_back(Numbered(L"many", i));
        size_t at = std::find(many.begin(), many.end(), damaged) - many.begin();
        std::vector<std::wstring> expected = {L"_de_install.exe", L"foo.exe"};
        expected.insert(expected.end(), many.begin(), many.begin() + at);
        CHECK(written == expected);
        if (upgrade) {
            CHECK(TreeState(scene.installDir()) == before);
        } else {
            CHECK_FALSE(DirectoryExists(scene.installDir()));
            CHECK_FALSE(RegistryKeyExists(false, scene.programName));
        }
    }
}

TEST_CASE("a held file asks while later files are already written ahead: Cancel undoes them, Retry completes")
{
    for (int answer : {1, 0}) {
        CAPTURE(answer);
        InstallFixture scene;
        std::wstring name = answer ? L"LumivoTestAheadCancel" : L"LumivoTestAheadRetry";
        scene.useArchive(TestPayload(1, {}), OldTime);
        scene.useProgram(name, L"foo.exe|readme.txt", false);
        AnswerAlerts({0});
        REQUIRE(scene.install());
        std::wstring dir = scene.installDir();
        std::string before = TreeState(dir);

        // Version 2: a hundred new files, the held readme.txt, then fifty more new files.
        Entries entries = TestPayload(2, {{L"first", 100}, {L"later", 50}});
        scene.useArchive(entries, NewTime);
        scene.useProgram(name, L"foo.exe|first\\*|readme.txt|later\\*", false);
        HeldFile held(dir + L"\\readme.txt");
        std::wstring ahead = dir + L"\\" + Numbered(L"later", 10);
        AnswerAlerts({answer, 0}, [&](size_t index) {
            if (index != 0)
                return;
            // The question is up, and the workers go on: a later file appears meanwhile.
            WaitFor("a file after the held one to be written ahead", [&] { return FileExists(ahead); });
            held.release();
        });
        bool completed = scene.install();
        held.release();
        REQUIRE(SeenAlerts().size() == 2);
        CHECK(SeenAlerts()[0].text.find(dir + L"\\readme.txt\"\nis currently in use") != std::wstring::npos);
        if (answer == 1) {
            CHECK_FALSE(completed);
            CHECK(TreeState(dir) == before);
            CHECK(SeenAlerts()[1].text == L"The program could not be installed properly.");
        } else {
            CHECK(completed);
            for (const auto& entry : entries)
                if (entry.first != L"_de_installu.exe")
                    CHECK(ReadWholeFile(dir + L"\\" + entry.first) == entry.second);
            CHECK(Leftovers(scene).empty());
            CHECK(SeenAlerts()[1].text == L"Installation completed successfully.");
        }
    }
}

TEST_CASE("what the workers may write ahead: a path named once, and without a look only in a new directory")
{
    StrArray paths;
    paths.makeEmpty();
    for (const wchar_t* path : {L"C:\\App\\a.txt", L"C:\\App\\New\\b.txt", L"C:\\App\\NEW\\SUB\\c.txt",
                                L"C:\\App\\new\\sub\\C.TXT", L"C:\\App\\Old\\d.txt", L"C:\\App\\new\\e.txt"})
        paths.append(Str(path));
    ClearRepeatedPaths(paths);
    CHECK(paths.ref(0) == L"C:\\App\\a.txt");
    CHECK(paths.ref(2).isEmpty()); // the same file twice, in two cases: only the loop writes it
    CHECK(paths.ref(3).isEmpty());
    CHECK(paths.ref(5) == L"C:\\App\\new\\e.txt");

    StrArray made;
    made.makeEmpty();
    made.append(Str(L"C:\\app\\new\\")); // with its final backslash, in another case
    made.append(Str(L"C:\\App\\New\\Sub"));
    WriteAhead ahead = {nullptr, &paths, ByteArray(), 0};
    MarkNewDirectories(ahead, made);
    REQUIRE(ahead.inNewDirectory.length() == 6);
    std::vector<int> marks;
    for (int64_t i = 0; i < 6; i++)
        marks.push_back(ahead.inNewDirectory.at(i));
    // C:\App itself and Old stood before this run; a.txt and d.txt are looked at first.
    CHECK(marks == std::vector<int>{0, 1, 0, 0, 0, 1});
}

} // TEST_SUITE
