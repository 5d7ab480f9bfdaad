#include "doctest.h"

#include "core/Error.h"
#include "core/File.h"
#include "core/Path.h"
#include "core/TextWriter.h"
#include "support/TestFiles.h"

#include <windows.h>

static std::string Written(const ScratchDir& dir, int encoding, bool lineBreaks, const wchar_t* text)
{
    File file;
    file.open(Str(dir.path(L"text.bin").c_str()), FileWrite, -4);
    file.encoding = encoding;
    file.lineBreaks = lineBreaks;
    TextWriter(file).write(Str(text));
    file.close();
    return ReadWholeFile(dir.path(L"text.bin"));
}

static int64_t FileSizeOnDisk(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST_SUITE("file") {

TEST_CASE("a failed open leaves the File empty and names the file")
{
    ScratchDir dir;
    File file;
    Str missing(dir.path(L"missing.txt").c_str());
    try {
        file.open(missing, FileRead, -4);
        FAIL("no exception");
    } catch (const WinError& e) {
        CHECK(e.code == 2);
        CHECK(Str(e.text) == missing);
    }
    CHECK(file.state == nullptr);
    CHECK_THROWS_AS(file.size(), InternalError);
    uint8_t byte;
    CHECK_THROWS_AS(file.read(&byte, 1), InternalError);
    CHECK_THROWS_AS(file.write(&byte, 1), InternalError);
}

TEST_CASE("a read-only open of a file held with delete sharing succeeds on the second attempt")
{
    ScratchDir dir;
    std::wstring path = dir.path(L"held.txt");
    WriteWholeFile(path, "abcd");
    // A holder with delete access (about to rename or delete the file) that shares deletion.
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    File file;
    file.open(Str(path.c_str()), FileRead, 0);
    CHECK(file.size() == 4);
    file.close();
    CloseHandle(holder);
}

TEST_CASE("buffered reads stop at the end of the file")
{
    ScratchDir dir;
    WriteWholeFile(dir.path(L"four.bin"), "wxyz");
    File file;
    file.open(Str(dir.path(L"four.bin").c_str()), FileRead, -4);
    char out[10] = {};
    CHECK(file.read(out, 10) == 4);
    CHECK(std::string(out, 4) == "wxyz");
    CHECK(file.read(out, 10) == 0);
}

TEST_CASE("buffered reads cross the buffer boundary")
{
    ScratchDir dir;
    std::string content;
    for (int i = 0; i < 9000; i++)
        content += static_cast<char>('a' + i % 26);
    WriteWholeFile(dir.path(L"long.bin"), content);
    File file;
    file.open(Str(dir.path(L"long.bin").c_str()), FileRead, -4);
    std::string got(9000, '\0');
    CHECK(file.read(&got[0], 10) == 10);
    CHECK(file.read(&got[10], 5000) == 5000);
    CHECK(file.read(&got[5010], 5000) == 3990);
    CHECK(got == content);
}

TEST_CASE("5000 bytes through a 4096-byte buffer: 4096 at once, 904 at close")
{
    ScratchDir dir;
    std::wstring path = dir.path(L"out.bin");
    std::string bytes(5000, 'q');
    File file;
    file.open(Str(path.c_str()), FileWrite, 4096);
    file.write(bytes.data(), 5000);
    CHECK(file.state->position == 4096);
    CHECK(file.state->used == 904);
    CHECK(FileSizeOnDisk(path) == 4096);
    File shared = file; // another holder of the same state
    file.close();
    CHECK(ReadWholeFile(path) == bytes);
    CHECK_THROWS_AS(shared.write("x", 1), InternalError); // closed
}

TEST_CASE("releasing a write file without close drops the buffered bytes")
{
    ScratchDir dir;
    std::wstring path = dir.path(L"dropped.bin");
    {
        File file;
        file.open(Str(path.c_str()), FileWrite, -4);
        file.write("abc", 3);
    }
    CHECK(ReadWholeFile(path).empty());
}

TEST_CASE("TextWriter bytes per encoding")
{
    ScratchDir dir;
    CHECK(Written(dir, 2, true, L"A\n") == std::string("\0A\0\r\0\n", 6));
    CHECK(Written(dir, 2, false, L"\n") == std::string("\0\n", 2));
    CHECK(Written(dir, 1, true, L"A\n") == std::string("A\0\r\0\n\0", 6));
    CHECK(Written(dir, 1, false, L"\xD83D\xDE00") == std::string("\x3D\xD8\x00\xDE", 4));
    CHECK(Written(dir, 0, false, L"\xD83D\xDE00") == "\xF0\x9F\x98\x80");
    CHECK(Written(dir, 0, true, L"a\nż") == "a\r\n\xC5\xBC");
    CHECK(Written(dir, 3, true, L"a\x0105\n") == std::string("a\x05\r\n", 4));
    CHECK_THROWS_AS(Written(dir, 4, false, L"a"), InternalError);
}

TEST_CASE("a mode other than 0 to 2 is refused")
{
    ScratchDir dir;
    File file;
    CHECK_THROWS_AS(file.open(Str(dir.path(L"x").c_str()), 3, 0), InternalError);
}

} // TEST_SUITE

TEST_SUITE("path") {

TEST_CASE("NormalizePath")
{
    CHECK(NormalizePath(Str(L"C:/a/b/../c")) == L"C:\\a\\c");
    CHECK(NormalizePath(Str(L"C:\\a\\.\\b")) == L"C:\\a\\b");
    CHECK(NormalizePath(Str(L"C:\\a\\\\b")) == L"C:\\a\\b");
    CHECK(NormalizePath(Str(L"\\\\server\\share\\x\\..\\y")) == L"\\\\server\\share\\y");
    CHECK(NormalizePath(Str(L"C:\\..\\x")) == L"C:\\..\\x");
    CHECK(NormalizePath(Str(L"C:\\a\\..\\..\\b")) == L"C:\\..\\b");
    CHECK(NormalizePath(Str(L"\\\\?\\C:\\a\\..\\b")) == L"\\\\?\\C:\\b");
    CHECK(NormalizePath(Str(L"a\\..\\")) == L"\\");
    CHECK(NormalizePath(Str()).isEmpty());
}

TEST_CASE("ParentDirectory, DirectoryOf and AddTrailingSlash")
{
    CHECK(ParentDirectory(Str(L"C:\\a\\b")) == L"C:\\a\\");
    CHECK(ParentDirectory(Str(L"C:\\a\\b\\")) == L"C:\\a\\");
    CHECK(ParentDirectory(Str(L"a\\")) == L"\\");
    CHECK(ParentDirectory(Str(L"a\\b\\")) == L"a\\");
    CHECK(DirectoryOf(Str(L"C:\\a\\b.txt")) == L"C:\\a\\");
    CHECK(DirectoryOf(Str(L"b.txt")).isEmpty());
    CHECK(DirectoryOf(Str(L"D:")) == L"D:");
    CHECK(AddTrailingSlash(Str(L"C:\\a/")) == L"C:\\a/");
    CHECK(AddTrailingSlash(Str()) == L"\\");
    CHECK(AddTrailingSlash(Str(L"C:\\a")) == L"C:\\a\\");
}

TEST_CASE("LocalAppDataDir ends in a backslash")
{
    Str dir = LocalAppDataDir();
    REQUIRE(dir.length() > 3);
    CHECK(dir.at(dir.length() - 1) == L'\\');
}

} // TEST_SUITE
