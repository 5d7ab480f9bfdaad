// The stub of an end-to-end test: lumivo-pack packs a folder's archive into this program (as its
// resource 103, or appended: LUMIVO_PACKED_LAYOUT), which then reads its own archive and compares
// every entry with the folder (LUMIVO_PACKED_SOURCE).
#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "core/AppContext.h"
#include "script/InstallScript.h"
#include "support/TestFiles.h"

#include <windows.h>

#include <map>
#include <string>

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
