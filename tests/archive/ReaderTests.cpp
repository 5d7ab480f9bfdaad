#include "doctest.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "support/ArchiveBuilder.h"
#include "support/TestFiles.h"

#include <windows.h>

#include <string>

static std::string Text(const ByteArray& bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.items()), static_cast<size_t>(bytes.length()));
}

// Uses the archive for the lifetime of the holder.
struct ArchiveInUse {
    explicit ArchiveInUse(const std::string& archive) : bytes(archive)
    {
        ReleaseArchive();
        UseArchive(Bytes(bytes), static_cast<int32_t>(bytes.size()));
    }
    ~ArchiveInUse() { ReleaseArchive(); }
    std::string bytes;
};

static int32_t CodeOfRead(const wchar_t* name, std::wstring* text = nullptr)
{
    try {
        ReadEntry(name);
    } catch (const Error& e) {
        if (text)
            *text = e.text ? e.text : L"";
        return e.code;
    }
    return 0;
}

static std::string RepeatedText(int lines)
{
    std::string text;
    for (int i = 0; i < lines; i++)
        text += "entry line " + std::to_string(i % 17) + "\r\n";
    return text;
}

TEST_SUITE("reader") {

TEST_CASE("names compare without regard to case, with equal lengths and backslashes only")
{
    ArchiveInUse archive(RawRecord(u"Install.script", "a=b") + RawRecord(u"docs\\readme.txt", "read me") +
                         RawRecord(u"\u00C4pfel.txt", "apples") + EndRecord());
    const uint8_t* script = FindEntry(L"install.script", -1);
    REQUIRE(script);
    CHECK(script == Bytes(archive.bytes));
    CHECK(FindEntry(L"INSTALL.SCRIPT", -1) == script);
    CHECK(FindEntry(L"install.scrip", -1) == nullptr);
    CHECK(FindEntry(L"install.script!", 14) == script); // only the given units count
    CHECK(FindEntry(L"install.script", 13) == nullptr);
    CHECK(FindEntry(L"docs\\README.TXT", -1) != nullptr);
    CHECK(FindEntry(L"docs/readme.txt", -1) == nullptr);
    CHECK(FindEntry(L"\u00E4PFEL.txt", -1) != nullptr);
    CHECK(Text(ReadEntry(L"DOCS\\readme.txt")) == "read me");
}

TEST_CASE("the first of two equal names wins")
{
    ArchiveInUse archive(RawRecord(u"same.txt", "first") + RawRecord(u"SAME.TXT", "second") + EndRecord());
    CHECK(Text(ReadEntry(L"Same.txt")) == "first");
}

TEST_CASE("thousands of names: each found at its first record, as the walk from the start finds it")
{
    std::string bytes;
    std::u16string longName(300, u'n');
    for (int i = 0; i < 3000; i++) {
        std::string name = "Dir" + std::to_string(i % 13) + "\\File" + std::to_string(i) + ".txt";
        bytes += RawRecord(std::u16string(name.begin(), name.end()), std::to_string(i));
    }
    bytes += RawRecord(u"DIR5\\FILE5.TXT", "later") + RawRecord(longName + u"1", "long one") +
             RawRecord(longName + u"2", "long two") + RawRecord(u"\u00C4pfel", "first") + RawRecord(u"\u00E4PFEL", "second");
    ArchiveInUse archive(bytes + EndRecord());
    ArchiveWalk walk = StartWalk(Bytes(archive.bytes), static_cast<int64_t>(archive.bytes.size()));
    ArchiveEntry entry;
    for (int i = 0; i < 3000; i++) {
        REQUIRE(NextEntry(walk, entry));
        std::wstring upper = L"DIR" + std::to_wstring(i % 13) + L"\\FILE" + std::to_wstring(i) + L".TXT";
        CHECK(FindEntry(upper.c_str(), -1) == entry.record);
    }
    CHECK(Text(ReadEntry(L"dir5\\file5.txt")) == "5");
    std::wstring wideLong(300, L'N');
    CHECK(Text(ReadEntry((wideLong + L"2").c_str())) == "long two");
    CHECK(Text(ReadEntry(L"\u00E4pfel")) == "first");
    CHECK(FindEntry(L"Dir1\\File1.tx", -1) == nullptr);
    CHECK(FindEntry(L"Dir1/File1.txt", -1) == nullptr);
}

TEST_CASE("entries of every stored form read back exactly")
{
    std::string text = RepeatedText(200);
    std::string runs("\x05" "abcde" "\x85\x05\x00" "\x81\x01\x00", 12); // abcde abcde e
    ArchiveInUse archive(ZlibRecord(u"zlib.txt", text, 111) + Record(u"gzip.txt", 1, GzipOf(text),
                                                                     static_cast<int32_t>(text.size()), 222) +
                         Record(u"runs.bin", 0, runs, 11, 333) + RawRecord(u"raw.bin", "raw bytes", 444) +
                         Record(u"raw-kind7.bin", 7, "seven", 5) + Record(u"empty.txt", 1, "", 0, 555) +
                         EndRecord());
    CHECK(Text(ReadEntry(L"zlib.txt")) == text);
    CHECK(LastEntryTime == 111);
    CHECK(Text(ReadEntry(L"gzip.txt")) == text);
    CHECK(LastEntryTime == 222);
    CHECK(Text(ReadEntry(L"runs.bin")) == "abcdeabcdee");
    CHECK(Text(ReadEntry(L"raw.bin")) == "raw bytes");
    CHECK(Text(ReadEntry(L"raw-kind7.bin")) == "seven");
    ByteArray empty = ReadEntry(L"empty.txt");
    CHECK(empty.length() == 0);
    CHECK(LastEntryTime == 555);
    // the zlib entry's header is the one the packer writes at the highest level
    std::string packed = ZlibOf(text);
    CHECK(static_cast<uint8_t>(packed[0]) == 0x78);
}

TEST_CASE("a record of an unknown kind is walked past and fails only when read")
{
    ArchiveInUse archive(Record(u"seven.bin", 7, "xyz", 10) + RawRecord(u"after.txt", "after") + EndRecord());
    CHECK(Text(ReadEntry(L"after.txt")) == "after");
    std::wstring name;
    CHECK(CodeOfRead(L"SEVEN.BIN", &name) == ErrCorrupted);
    CHECK(name == L"seven.bin"); // the record's own name
}

TEST_CASE("one flipped bit fails that entry alone, naming it")
{
    std::string text = RepeatedText(50);
    std::string first = ZlibRecord(u"first.txt", text), second = ZlibRecord(u"second.txt", text),
                third = RawRecord(u"third.txt", "third");
    size_t dataStart = RecordHeaderSize + 2 * 10; // second.txt
    for (size_t bit : {size_t(0), size_t(13), (second.size() - dataStart) * 8 - 1}) {
        std::string damaged = second;
        damaged[dataStart + bit / 8] ^= static_cast<char>(1 << (bit % 8));
        ArchiveInUse archive(first + damaged + third + EndRecord());
        std::wstring name;
        try {
            ReadEntry(L"second.txt");
            FAIL("no error");
        } catch (const CrcError& e) {
            CHECK(e.code == ErrCorrupted);
            CHECK(std::wstring(e.text) == L"second.txt");
        }
        CHECK(Text(ReadEntry(L"first.txt")) == text);
        CHECK(Text(ReadEntry(L"third.txt")) == "third");
    }
}

TEST_CASE("damaged data behind a good CRC fails as corrupted")
{
    std::string text = RepeatedText(30);
    int32_t size = static_cast<int32_t>(text.size());
    std::string packed = ZlibOf(text);
    ArchiveInUse archive(Record(u"short.txt", 1, packed, size + 1) + Record(u"long.txt", 1, packed, size - 1) +
                         Record(u"cut.txt", 1, packed.substr(0, packed.size() - 4), size) +
                         Record(u"runs.bin", 0, std::string("\x03" "abc" "\x84\x03\x00", 7), 8) + EndRecord());
    for (const wchar_t* name : {L"short.txt", L"long.txt", L"cut.txt", L"runs.bin"}) {
        std::wstring reported;
        CHECK(CodeOfRead(name, &reported) == ErrCorrupted);
        CHECK(reported == name);
    }
}

TEST_CASE("a size that the stored bytes cannot give fails as corrupted before it is allocated")
{
    ArchiveInUse archive(Record(u"bomb.bin", EntryKindZlib, std::string(10, 'z'), 0x7FFFFFFF) +
                         Record(u"runs.bin", EntryKindRuns, std::string(30, '\x80'), 30 / 3 * 127 + 128) +
                         RawRecord(u"fine.txt", "fine") + EndRecord());
    for (const wchar_t* name : {L"bomb.bin", L"runs.bin"}) {
        std::wstring reported;
        CHECK(CodeOfRead(name, &reported) == ErrCorrupted);
        CHECK(reported == name);
    }
    CHECK(Text(ReadEntry(L"fine.txt")) == "fine");
}

// RepeatedText(200) as liblzma writes it at preset 9 extreme (lc 3, lp 0, pb 2, a 4 KiB
// dictionary), without and with an end marker: the two forms that the decoder accepts.
static const char LzmaText[] = "5D0010000000329B8AEFF21B4F9FFF1407D5A2E3C64AE38B63B6765F57CF5C4F"
                               "6EAA05932CE154509DB2A83C1A11F4671E6DA26AAF0CA8A17DFF33831FF6A235"
                               "76227F7E2906E570F3F518DA00";
static const char LzmaTextWithMarker[] = "5D0010000000329B8AEFF21B4F9FFF1407D5A2E3C64AE38B63B6765F57CF5C4F"
                                         "6EAA05932CE154509DB2A83C1A11F4671E6DA26AAF0CA8A17DFF33831FF6A235"
                                         "76227F7E2906E570F3F8673CB0FFFEC04000";

static std::string FromHex(const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return bytes;
}

TEST_CASE("LZMA entries read back exactly and fail as corrupted when damaged")
{
    std::string text = RepeatedText(200), stream = FromHex(LzmaText), marked = FromHex(LzmaTextWithMarker);
    int32_t size = static_cast<int32_t>(text.size());
    std::string flipped = stream;
    flipped[40] ^= 0x04;
    ArchiveInUse archive(Record(u"lzma.txt", EntryKindLzma, stream, size, 666) +
                         Record(u"marked.txt", EntryKindLzma, marked, size) +
                         Record(u"short.txt", EntryKindLzma, stream, size + 1) +
                         Record(u"long.txt", EntryKindLzma, stream, size - 1) +
                         Record(u"cut.txt", EntryKindLzma, stream.substr(0, stream.size() - 1), size) +
                         Record(u"flipped.txt", EntryKindLzma, flipped, size) +
                         RecordWithCrc(u"crc.txt", EntryKindLzma, flipped, size,
                                       Crc32(Bytes(stream), static_cast<int64_t>(stream.size()))) +
                         EndRecord());
    CHECK(Text(ReadEntry(L"lzma.txt")) == text);
    CHECK(LastEntryTime == 666);
    CHECK(Text(ReadEntry(L"marked.txt")) == text);
    for (const wchar_t* name : {L"short.txt", L"long.txt", L"cut.txt", L"flipped.txt", L"crc.txt"}) {
        std::wstring reported;
        CHECK(CodeOfRead(name, &reported) == ErrCorrupted);
        CHECK(reported == name);
    }
}

TEST_CASE("a missing entry is file-not-found with the requested name")
{
    ArchiveInUse archive(RawRecord(u"a.txt", "a") + EndRecord());
    std::wstring name;
    CHECK(CodeOfRead(L"b.txt", &name) == ERROR_FILE_NOT_FOUND);
    CHECK(name == L"b.txt");
    try {
        ReadEntry(L"b.txt and more", 5);
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(std::wstring(e.text) == L"b.txt");
    }
}

TEST_CASE("a truncated record ends the walk")
{
    std::string last = RawRecord(u"last.txt", "0123456789");
    ArchiveInUse archive(RawRecord(u"a.txt", "a") + last.substr(0, last.size() - 3));
    CHECK(Text(ReadEntry(L"a.txt")) == "a");
    CHECK(FindEntry(L"last.txt", -1) == nullptr);
    StrArray names = ListEntryNames();
    REQUIRE(names.length() == 1);
    CHECK(names.at(0) == L"a.txt");
}

TEST_CASE("listing names in archive order up to the end record")
{
    ArchiveInUse archive(RawRecord(u"z.txt", "") + RawRecord(u"dir\\a.txt", "") + Record(u"odd", 9, "??", 7) +
                         EndRecord() + RawRecord(u"hidden.txt", ""));
    StrArray names = ListEntryNames();
    REQUIRE(names.length() == 3);
    CHECK(names.at(0) == L"z.txt");
    CHECK(names.at(1) == L"dir\\a.txt");
    CHECK(names.at(2) == L"odd");
    ReleaseArchive();
    CHECK(ListEntryNames().length() == 0);
    CHECK(FindEntry(L"z.txt", -1) == nullptr);
}

TEST_CASE("a solid block whose directory does not decode fails as corrupted, also when listed")
{
    // Its files cannot be listed, so a pattern would match none of them: listing fails instead of
    // leaving an installation without them.
    ArchiveInUse archive(RawRecord(u"install.script", "copy-files=*") +
                         Record(u"<solid block 1>", EntryKindSolid, std::string(40, 'x'), 300) + EndRecord());
    CHECK(Text(ReadEntry(L"install.script")) == "copy-files=*");
    std::wstring name;
    CHECK(CodeOfRead(L"<solid block 1>", &name) == ErrCorrupted);
    try {
        ListEntryNames();
        FAIL("no error");
    } catch (const CrcError& e) {
        CHECK(std::wstring(e.text) == L"<solid block 1>");
    }
}

TEST_CASE("entry text is decoded from UTF-8 without its byte-order mark")
{
    ArchiveInUse archive(RawRecord(u"bom.txt", "\xEF\xBB\xBFnazwa=Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87") +
                         ZlibRecord(u"plain.txt", "plain") + EndRecord());
    CHECK(ReadEntryText(L"bom.txt") == L"nazwa=Za\u017C\u00F3\u0142\u0107");
    CHECK(ReadEntryText(L"plain.txt") == L"plain");
}

} // TEST_SUITE

TEST_SUITE("locate") {

TEST_CASE("a program without resource 103 and without a trailer is corrupted, naming its path")
{
    ReleaseArchive();
    AppContext context = {};
    CreateAppContext(&context, GetModuleHandleW(nullptr));
    try {
        LocateArchive();
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(e.code == ErrCorrupted);
        CHECK(Str(e.text) == ModuleFileName());
    }
    DestroyAppContext(&context);
    CHECK(Payload.base == nullptr);
}

TEST_CASE("an archive already in use is kept")
{
    std::string archive = RawRecord(u"kept.txt", "kept") + EndRecord();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    LocateArchive(); // needs no context: nothing to locate
    CHECK(Text(ReadEntry(L"kept.txt")) == "kept");
    ReleaseArchive();
}

static int32_t CodeOfFile(const std::wstring& path)
{
    try {
        UseArchiveFile(Str(path.c_str()));
    } catch (const Error& e) {
        CHECK(std::wstring(e.text) == path);
        return e.code;
    }
    return 0;
}

TEST_CASE("an appended archive is found through its trailer")
{
    ScratchDir dir;
    std::string program = "MZ" + std::string(300, '\x90');
    std::string archive = ZlibRecord(u"install.script", "name=Demo") + RawRecord(u"b.bin", "bb") + EndRecord();
    WriteWholeFile(dir.path(L"setup.exe"), Appended(program, archive));
    CHECK(CodeOfFile(dir.path(L"setup.exe")) == 0);
    CHECK(Payload.length == static_cast<int32_t>(archive.size()));
    // The archive is read in place, inside a view of the whole program file.
    REQUIRE(Payload.fileView);
    CHECK(Payload.base == static_cast<const uint8_t*>(Payload.fileView) + program.size());
    CHECK(Text(ReadEntry(L"install.script")) == "name=Demo");
    CHECK(Text(ReadEntry(L"b.bin")) == "bb");
    ReleaseArchive();
    CHECK(Payload.fileView == nullptr);
}

TEST_CASE("a wrong trailer is corrupted, naming the program path")
{
    ScratchDir dir;
    std::string program(64, 'P');
    std::string archive = RawRecord(u"a", "a") + EndRecord();
    uint32_t length = static_cast<uint32_t>(archive.size());
    uint32_t end = 64 + length;
    struct Case {
        const wchar_t* name;
        std::string bytes;
    } cases[] = {
        {L"magic.exe", program + archive + Trailer(64, length, end, 0x12345678)},
        {L"offset.exe", program + archive + Trailer(64, length, end - 1)},
        {L"region.exe", program + archive + Trailer(64, length + 1, end)},
        {L"sixteen.exe", Trailer(0, 0, 0)},
        {L"empty.exe", ""},
    };
    for (const Case& c : cases) {
        WriteWholeFile(dir.path(c.name), c.bytes);
        CHECK(CodeOfFile(dir.path(c.name)) == ErrCorrupted);
        CHECK(Payload.base == nullptr);
    }
    CHECK(CodeOfFile(dir.path(L"missing.exe")) == ERROR_FILE_NOT_FOUND);
}

} // TEST_SUITE
