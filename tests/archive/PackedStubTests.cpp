// The stub of an end-to-end test: lumivo-pack packs a folder's archive into this program (as its
// resource 103, or appended: LUMIVO_PACKED_LAYOUT), which then reads its own archive and compares
// every entry with the folder (LUMIVO_PACKED_SOURCE).
#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "archive/EntryPipeline.h"
#include "core/AppContext.h"
#include "script/InstallScript.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct SourceFile {
    std::string bytes;
    uint64_t time;
};

static uint64_t LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    REQUIRE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// Every file below folder by its relative name with backslashes.
static void Collect(const std::wstring& folder, const std::wstring& prefix, std::map<std::wstring, SourceFile>& files)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    REQUIRE(find != INVALID_HANDLE_VALUE);
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Collect(path, prefix + name + L"\\", files);
        else
            files[prefix + name] = SourceFile{ReadWholeFile(path), LastWriteTime(path)};
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

static std::string Text(const ByteArray& bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.items()), static_cast<size_t>(bytes.length()));
}

static std::string ReadAll(const ByteSource& source)
{
    std::string bytes;
    const uint8_t* piece;
    int64_t count;
    while (source.next(source.context, &piece, &count))
        bytes.append(reinterpret_cast<const char*>(piece), static_cast<size_t>(count));
    return bytes;
}

// Writes ahead the entries at even places in the list, and gives up on the one at giveUp after
// reading its first piece, so that the caller reads it again.
struct EvenHandler {
    std::mutex lock;
    std::map<int64_t, std::string> written;
    int64_t giveUp;

    static bool Handle(void* context, int64_t index, int64_t, uint64_t, const ByteSource& bytes, bool)
    {
        EvenHandler& self = *static_cast<EvenHandler*>(context);
        if (index == self.giveUp) {
            const uint8_t* piece;
            int64_t count;
            bytes.next(bytes.context, &piece, &count);
            return false;
        }
        if (index % 2)
            return false;
        std::string all = ReadAll(bytes);
        std::lock_guard<std::mutex> guard(self.lock);
        self.written[index] = all;
        return true;
    }
};

struct PackedProgram {
    PackedProgram()
    {
        CreateAppContext(&context, GetModuleHandleW(nullptr));
        ReleaseArchive();
        LocateArchive();
        const wchar_t* source = _wgetenv(L"LUMIVO_PACKED_SOURCE");
        REQUIRE(source);
        Collect(source, L"", files);
        REQUIRE(files.size() > 3);
    }
    ~PackedProgram()
    {
        ReleaseArchive();
        DestroyAppContext(&context);
    }
    AppContext context = {};
    std::map<std::wstring, SourceFile> files;
};

TEST_SUITE("packed") {

TEST_CASE("the archive is found where the packer put it: resource 103, or appended behind an empty one")
{
    PackedProgram program;
    const wchar_t* layout = _wgetenv(L"LUMIVO_PACKED_LAYOUT");
    REQUIRE(layout);
    if (std::wstring(layout) == L"appended") {
        CHECK(Payload.fileView != nullptr);
    } else {
        // in place in the mapped image: nothing is read from the file by name
        CHECK(Payload.fileView == nullptr);
        HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(103), RT_RCDATA);
        REQUIRE(resource);
        CHECK(Payload.base == LockResource(LoadResource(nullptr, resource)));
    }
    StrArray names = ListEntryNames();
    CHECK(names.length() == static_cast<int64_t>(program.files.size()));
    CHECK(names.at(0) == L"install.script");
}

TEST_CASE("every file of the packed folder reads back exactly, with its time")
{
    PackedProgram program;
    for (const auto& [name, file] : program.files) {
        CAPTURE(std::string(name.begin(), name.end()));
        CHECK(Text(ReadEntry(name.c_str())) == file.bytes);
        CHECK(LastEntryTime == file.time);
        std::wstring upper = name;
        CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
        CHECK(FindEntry(upper.c_str(), -1) == FindEntry(name.c_str(), -1));
    }
}

TEST_CASE("entries written to disk match their files and times")
{
    PackedProgram program;
    ScratchDir dir;
    int index = 0;
    for (const auto& [name, file] : program.files) {
        std::wstring destination = dir.path(std::to_wstring(index++) + L".out");
        WriteEntryFile(Str(destination.c_str()), ReadEntry(name.c_str()));
        CHECK(ReadWholeFile(destination) == file.bytes);
        CHECK(LastWriteTime(destination) == file.time);
    }
}

TEST_CASE("the read-ahead pipeline gives every file in list order, written ahead or read by the caller")
{
    PackedProgram program;
    // The archive's order, then backwards (each file behind the last one read in its block makes
    // the block be decoded again from its start), then the first name again.
    StrArray archive = ListEntryNames();
    StrArray list;
    list.makeEmpty();
    for (int64_t i = 0; i < archive.length(); i++)
        list.append(archive.ref(i));
    for (int64_t i = archive.length() - 1; i >= 0; i--)
        list.append(archive.ref(i));
    list.append(archive.ref(0));
    for (int32_t workers : {1, 3}) {
        CAPTURE(workers);
        PipelineLimits limits = DefaultPipelineLimits();
        limits.workers = workers;
        limits.maxBytes = 64 << 10;
        EntryPipeline pipeline(list, limits);
        EvenHandler handler;
        handler.giveUp = 1 + 2 * (archive.length() / 2); // the uneven one after the first pass
        EntryHandler ahead = {EvenHandler::Handle, &handler};
        pipeline.handleAhead(&ahead);
        for (int64_t i = 0; i < list.length(); i++) {
            std::wstring name(list.ref(i).text());
            CAPTURE(std::string(name.begin(), name.end()));
            const SourceFile& file = program.files.at(name);
            // As the installer does: a worker begins every entry, the caller none.
            WaitFor("a worker to begin the entry", [&pipeline] { return pipeline.waitReady(50); });
            TakenEntry entry = pipeline.take();
            CHECK(LastEntryTime == file.time);
            CHECK(entry.size == static_cast<int64_t>(file.bytes.size()));
            // Entries that workers began before the handler was set are not handled.
            if (entry.handled)
                CHECK((i % 2 == 0 && i != handler.giveUp));
            std::string bytes;
            if (entry.handled) {
                std::lock_guard<std::mutex> guard(handler.lock);
                bytes = handler.written.at(i);
            } else {
                ByteSource source = pipeline.source();
                const uint8_t* piece;
                int64_t count;
                // One piece, then another try from the start: decoded again here.
                if (source.next(source.context, &piece, &count))
                    source.rewind(source.context);
                bytes = ReadAll(source);
            }
            CHECK(bytes == file.bytes);
        }
        CHECK_THROWS_AS(pipeline.take(), IndexError);
        // The second pass begins once the window is full of the first: all of it after the handler.
        CHECK(handler.written.size() >= static_cast<size_t>(archive.length() / 2));
    }
}

// Writes every entry it is given, and keeps which it was given beyond the window.
struct AllHandler {
    std::mutex lock;
    std::map<int64_t, std::string> written;
    std::set<int64_t> beyond;

    static bool Handle(void* context, int64_t index, int64_t, uint64_t, const ByteSource& bytes, bool beyondWindow)
    {
        AllHandler& self = *static_cast<AllHandler*>(context);
        std::string all = ReadAll(bytes);
        std::lock_guard<std::mutex> guard(self.lock);
        self.written[index] = all;
        if (beyondWindow)
            self.beyond.insert(index);
        return true;
    }
};

TEST_CASE("later blocks are decoded beside the window's, their files written ahead")
{
    PackedProgram program;
    StrArray names = ListEntryNames();
    std::vector<const uint8_t*> blockOf; // by index in the list: the solid block's record, or null
    for (int64_t i = 0; i < names.length(); i++) {
        const EntryLocation* location = LocateEntry(names.ref(i).text(), names.ref(i).length());
        REQUIRE(location);
        blockOf.push_back(location->file >= 0 ? location->entry.record : nullptr);
    }
    std::set<const uint8_t*> blocks(blockOf.begin(), blockOf.end());
    blocks.erase(nullptr);
    if (blocks.size() < 2)
        return; // one block: nothing to decode beside it
    int64_t firstSolid =
        std::find_if(blockOf.begin(), blockOf.end(), [](const uint8_t* block) { return block; }) - blockOf.begin();
    // One entry in the window: while the caller stays at the first file of a block, the workers
    // can only go beyond it.
    PipelineLimits limits = DefaultPipelineLimits();
    limits.workers = 3;
    limits.maxEntries = 1;
    EntryPipeline pipeline(names, limits);
    AllHandler handler;
    EntryHandler ahead = {AllHandler::Handle, &handler};
    pipeline.handleAhead(&ahead);
    for (int64_t i = 0; i < names.length(); i++) {
        std::wstring name(names.ref(i).text());
        CAPTURE(std::string(name.begin(), name.end()));
        WaitFor("a worker to begin the entry", [&pipeline] { return pipeline.waitReady(50); });
        if (i == firstSolid)
            WaitFor("a later block's file written beyond the window", [&] {
                std::lock_guard<std::mutex> guard(handler.lock);
                return !handler.beyond.empty();
            });
        TakenEntry entry = pipeline.take();
        std::string bytes;
        if (entry.handled) {
            std::lock_guard<std::mutex> guard(handler.lock);
            bytes = handler.written.at(i);
        } else {
            bytes = ReadAll(pipeline.source());
        }
        CHECK(bytes == program.files.at(name).bytes);
    }
    for (int64_t index : handler.beyond)
        CHECK(blockOf.at(static_cast<size_t>(index)) != blockOf.at(static_cast<size_t>(firstSolid)));
}

// Run on a copy whose solid block run-packed-test damaged, with the name of the first file that
// lumivo-pack verify finds damaged (LUMIVO_PACKED_DAMAGED); a no-op otherwise.
TEST_CASE("a damaged block fails at the first damaged file, by its name, the files before it whole")
{
    const wchar_t* damaged = _wgetenv(L"LUMIVO_PACKED_DAMAGED");
    if (!damaged)
        return;
    PackedProgram program;
    StrArray names = ListEntryNames(); // from the blocks' directories, which the damage spares
    CHECK(names.length() == static_cast<int64_t>(program.files.size()));
    EntryPipeline pipeline(names);
    bool failed = false;
    for (int64_t i = 0; i < names.length() && !failed; i++) {
        std::wstring name(names.ref(i).text());
        CAPTURE(std::string(name.begin(), name.end()));
        WaitFor("a worker to begin the entry", [&pipeline] { return pipeline.waitReady(50); });
        try {
            std::string bytes = Text(pipeline.next());
            CHECK(bytes == program.files.at(name).bytes);
        } catch (const CrcError& e) {
            CHECK(std::wstring(e.text) == damaged);
            failed = true;
        }
    }
    CHECK(failed);
}

TEST_CASE("the settings come from the packed install.script")
{
    PackedProgram program;
    isAdmin = false;
    Language = LangPolish;
    LoadInstallScript();
    CHECK(Script.programName == L"Za\u017C\u00F3\u0142\u0107 Demo");
    CHECK(Script.exeFile == L"bin\\tool.exe");
    ReleaseInstallScript();
}

} // TEST_SUITE
