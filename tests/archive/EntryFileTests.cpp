#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "core/Error.h"
#include "support/TestFiles.h"

#include <windows.h>

#include <string>
#include <vector>

static ByteArray BytesOf(const std::string& text)
{
    ByteArray bytes;
    bytes.makeEmpty();
    bytes.append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
    return bytes;
}

static uint64_t LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    REQUIRE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// 2001-02-03 04:05:06 UTC
static const uint64_t EntryTime = 126258039060000000ull;

// Writes and returns the error's code and text (0 when nothing was raised).
static int32_t CodeOfWrite(const std::wstring& destination, const std::string& text, std::wstring* name)
{
    try {
        WriteEntryFile(Str(destination.c_str()), BytesOf(text));
    } catch (const Error& e) {
        *name = e.text ? e.text : L"";
        return e.code;
    }
    return 0;
}

// The names in dir that end in "$$": temporary files left behind.
static std::vector<std::wstring> Temporaries(const ScratchDir& dir)
{
    std::vector<std::wstring> found;
    for (const std::wstring& name : FolderContents(dir.path()))
        if (name.size() >= 2 && name.compare(name.size() - 2, 2, L"$$") == 0)
            found.push_back(name);
    return found;
}

TEST_SUITE("entryfile") {

TEST_CASE("an entry is written whole and stamped with its time")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"tool.exe");
    LastEntryTime = EntryTime;
    WriteEntryFile(Str(destination.c_str()), BytesOf("program bytes"));
    CHECK(ReadWholeFile(destination) == "program bytes");
    CHECK(LastWriteTime(destination) == EntryTime);

    WriteEntryFile(Str(dir.path(L"empty.txt").c_str()), ByteArray());
    CHECK(ReadWholeFile(dir.path(L"empty.txt")).empty());
    CHECK(LastWriteTime(dir.path(L"empty.txt")) == EntryTime);

    // Bytes that lie in the archive in use are copied out in pieces on their way to the file.
    std::string pattern;
    for (int i = 0; i < 200003; i++)
        pattern += static_cast<char>(i * 7 % 251);
    ByteArray stored = BytesOf(pattern);
    struct ArchiveInUse {
        PayloadArchive saved = Payload;
        ~ArchiveInUse() { Payload = saved; }
    } restore;
    Payload = PayloadArchive{stored.items(), static_cast<int32_t>(stored.length()), nullptr};
    WriteEntryFile(Str(dir.path(L"stored.bin").c_str()), stored);
    CHECK(ReadWholeFile(dir.path(L"stored.bin")) == pattern);
    CHECK(Temporaries(dir).empty());
}

TEST_CASE("temporary names are the destination's, a dot, 16 hexadecimal digits and $$, never the same twice")
{
    std::wstring first = TemporaryNameFor(Str(L"C:\\App\\tool.exe")).text();
    std::wstring second = TemporaryNameFor(Str(L"C:\\App\\tool.exe")).text();
    CHECK(first != second);
    REQUIRE(first.size() == std::wstring(L"C:\\App\\tool.exe").size() + 19);
    CHECK(first.compare(0, 16, L"C:\\App\\tool.exe.") == 0);
    CHECK(first.find_first_not_of(L"0123456789abcdef", 16) == first.size() - 2);
    CHECK(first.compare(first.size() - 2, 2, L"$$") == 0);
}

TEST_CASE("an existing destination is replaced; a file under the old fixed temporary name is left alone")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"data.bin");
    WriteWholeFile(destination, "old contents that are longer");
    WriteWholeFile(destination + L"$$", "not ours");
    LastEntryTime = EntryTime;
    WriteEntryFile(Str(destination.c_str()), BytesOf("new"));
    CHECK(ReadWholeFile(destination) == "new");
    CHECK(ReadWholeFile(destination + L"$$") == "not ours");
    CHECK(Temporaries(dir) == std::vector<std::wstring> {L"data.bin$$"});
}

TEST_CASE("a temporary name that is taken is refused, and what stands there is neither written nor deleted")
{
    ScratchDir dir;
    TemporaryFile file;
    file.path = Str(dir.path(L"a.txt.0123456789abcdef$$").c_str());
    WriteWholeFile(file.path.text(), "planted");
    try {
        WriteTemporary(file, reinterpret_cast<const uint8_t*>("x"), 1, nullptr);
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(e.code == ERROR_FILE_EXISTS);
        CHECK(std::wstring(e.text) == dir.path(L"a.txt.0123456789abcdef$$"));
    }
    CHECK(ReadWholeFile(dir.path(L"a.txt.0123456789abcdef$$")) == "planted");
    CHECK(file.path.isEmpty());
    CHECK_FALSE(file.handle);
}

TEST_CASE("a temporary file that cannot be created leaves the destination untouched")
{
    ScratchDir dir;
    std::wstring nowhere = dir.path(L"missing\\file.txt");
    std::wstring name;
    CHECK(CodeOfWrite(nowhere, "x", &name) == ERROR_PATH_NOT_FOUND);
    CHECK(name.compare(0, nowhere.size() + 1, nowhere + L".") == 0); // write errors name the temporary file
    CHECK(name.compare(name.size() - 2, 2, L"$$") == 0);
}

TEST_CASE("a destination in use keeps its contents and the temporary file goes")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"busy.dll");
    WriteWholeFile(destination, "in use");
    HANDLE holder = CreateFileW(destination.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    std::wstring name;
    int32_t code = CodeOfWrite(destination, "replacement", &name);
    CloseHandle(holder);
    CHECK((code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED));
    CHECK(name == destination); // move errors name the destination
    CHECK(Temporaries(dir).empty());
    CHECK(ReadWholeFile(destination) == "in use");
}

TEST_CASE("a temporary file whose move fails stays open for another try, and goes when discarded")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"later.txt");
    WriteWholeFile(destination, "standing");
    TemporaryFile file;
    file.path = TemporaryNameFor(Str(destination.c_str()));
    WriteTemporary(file, reinterpret_cast<const uint8_t*>("fresh"), 5, &EntryTime);
    CHECK_THROWS_AS(RenameTemporary(file, Str(destination.c_str()), false), WinError);
    REQUIRE(file.handle);
    CHECK(Temporaries(dir).size() == 1);
    DeleteFileW(destination.c_str());
    RenameTemporary(file, Str(destination.c_str()), false);
    CHECK(ReadWholeFile(destination) == "fresh");
    CHECK(LastWriteTime(destination) == EntryTime);
    CHECK(Temporaries(dir).empty());

    file.path = TemporaryNameFor(Str(destination.c_str()));
    WriteTemporary(file, reinterpret_cast<const uint8_t*>("dropped"), 7, nullptr);
    DiscardTemporary(file);
    CHECK(Temporaries(dir).empty());
    CHECK(ReadWholeFile(destination) == "fresh");
}

} // TEST_SUITE
