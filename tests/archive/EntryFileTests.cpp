#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "core/Error.h"
#include "support/TestFiles.h"

#include <windows.h>

#include <string>

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

static uint64_t Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
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

TEST_SUITE("entryfile") {

TEST_CASE("an entry is written whole and stamped with its time")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"tool.exe");
    LastEntryTime = EntryTime;
    WriteEntryFile(Str(destination.c_str()), BytesOf("program bytes"));
    CHECK(ReadWholeFile(destination) == "program bytes");
    CHECK(LastWriteTime(destination) == EntryTime);
    CHECK_FALSE(FileExists(destination + L"$$"));

    WriteEntryFile(Str(dir.path(L"empty.txt").c_str()), ByteArray());
    CHECK(ReadWholeFile(dir.path(L"empty.txt")).empty());
    CHECK(LastWriteTime(dir.path(L"empty.txt")) == EntryTime);
}

TEST_CASE("an existing destination is replaced, and a leftover temporary file is reused")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"data.bin");
    WriteWholeFile(destination, "old contents that are longer");
    WriteWholeFile(destination + L"$$", "a leftover from an earlier run, longer still");
    LastEntryTime = EntryTime;
    WriteEntryFile(Str(destination.c_str()), BytesOf("new"));
    CHECK(ReadWholeFile(destination) == "new");
    CHECK_FALSE(FileExists(destination + L"$$"));
}

TEST_CASE("a temporary file that cannot be created leaves the destination untouched")
{
    ScratchDir dir;
    std::wstring destination = dir.path(L"keep.txt");
    WriteWholeFile(destination, "old");
    REQUIRE(CreateDirectoryW((destination + L"$$").c_str(), nullptr));
    std::wstring name;
    CHECK(CodeOfWrite(destination, "new", &name) > 0);
    CHECK(name == destination + L"$$"); // write errors name the temporary file
    CHECK(ReadWholeFile(destination) == "old");
    RemoveDirectoryW((destination + L"$$").c_str());

    std::wstring nowhere = dir.path(L"missing\\file.txt");
    CHECK(CodeOfWrite(nowhere, "x", &name) == ERROR_PATH_NOT_FOUND);
    CHECK(name == nowhere + L"$$");
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
    CHECK_FALSE(FileExists(destination + L"$$"));
    CHECK(ReadWholeFile(destination) == "in use");
}

TEST_CASE("moving into place without a time keeps the system's time")
{
    ScratchDir dir;
    std::wstring temporary = dir.path(L"a.txt$$"), destination = dir.path(L"a.txt");
    WriteWholeFile(temporary, "moved");
    uint64_t before = Now();
    MoveIntoPlace(Str(temporary.c_str()), Str(destination.c_str()), nullptr);
    CHECK(ReadWholeFile(destination) == "moved");
    CHECK(LastWriteTime(destination) + 20000000ull >= before); // not older than two seconds

    std::wstring missing = dir.path(L"gone$$");
    try {
        MoveIntoPlace(Str(missing.c_str()), Str(destination.c_str()), &EntryTime);
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(e.code == ERROR_FILE_NOT_FOUND);
        CHECK(std::wstring(e.text) == destination);
    }
    CHECK(ReadWholeFile(destination) == "moved");
}

} // TEST_SUITE
