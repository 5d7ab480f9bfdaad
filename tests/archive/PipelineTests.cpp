#include "doctest.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryPipeline.h"
#include "archive/UpdateFormat.h"
#include "core/Error.h"
#include "support/ArchiveBuilder.h"
#include "support/WaitFor.h"

#include <windows.h>
#include <tlhelp32.h>

#include <map>
#include <set>
#include <string>
#include <string.h>
#include <vector>

namespace {

std::string Text(const ByteArray& bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.items()), static_cast<size_t>(bytes.length()));
}

struct ArchiveInUse {
    explicit ArchiveInUse(const std::string& archive) : bytes(archive)
    {
        UseArchive(Bytes(bytes), static_cast<int32_t>(bytes.size()));
    }
    ~ArchiveInUse() { ReleaseArchive(); }
    std::string bytes;
};

StrArray Names(std::initializer_list<const wchar_t*> names)
{
    StrArray list;
    list.makeEmpty();
    for (const wchar_t* name : names)
        list.append(Str(name));
    return list;
}

std::u16string U16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

Str StrOf(const std::string& ascii)
{
    std::wstring wide(ascii.begin(), ascii.end());
    return Str(wide.c_str());
}

// Distinct contents for entry i, size bytes long.
std::string Content(int i, size_t size)
{
    std::string text;
    while (text.size() < size)
        text += "entry " + std::to_string(i) + " line " + std::to_string(text.size()) + "\n";
    text.resize(size);
    return text;
}

PipelineLimits Limits(int32_t workers, int32_t maxEntries, int64_t maxBytes)
{
    PipelineLimits limits;
    limits.workers = workers;
    limits.maxEntries = maxEntries;
    limits.maxBytes = maxBytes;
    return limits;
}

// Threads of this process, counted from outside the pipeline.
int ThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    REQUIRE(snapshot != INVALID_HANDLE_VALUE);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snapshot);
    return count;
}

} // namespace

TEST_SUITE("pipeline") {

TEST_CASE("entries come out in list order, each as ReadEntry gives it, with its time")
{
    std::string archive;
    for (int i = 0; i < 300; i++) {
        std::string name = "dir" + std::to_string(i % 7) + "\\file" + std::to_string(i) + ".txt";
        std::string data = Content(i, 100 + (i * 977) % 30000);
        archive += i % 3 ? ZlibRecord(U16(name), data, 1000 + i) : RawRecord(U16(name), data, 1000 + i);
    }
    ArchiveInUse use(archive + EndRecord());
    // Not archive order, names in another case, one name twice.
    StrArray names;
    names.makeEmpty();
    for (int i = 299; i >= 0; i -= 2)
        names.append(StrOf("DIR" + std::to_string(i % 7) + "\\FILE" + std::to_string(i) + ".TXT"));
    names.append(Str(L"dir0\\file0.txt"));
    names.append(Str(L"dir0\\file0.txt"));

    for (int32_t workers : {1, 2, 5}) {
        CAPTURE(workers);
        EntryPipeline pipeline(names, Limits(workers, 4, 1 << 20));
        for (int64_t i = 0; i < names.length(); i++) {
            CHECK(pipeline.position() == i);
            std::string got = Text(pipeline.next());
            uint64_t time = LastEntryTime;
            CHECK(got == Text(ReadEntry(names.ref(i).text())));
            CHECK(time == LastEntryTime);
        }
        CHECK_THROWS_AS(pipeline.next(), IndexError);
    }
}

TEST_CASE("the workers stay within the window: entries and bytes")
{
    const int32_t entrySize = 1 << 20;
    std::string archive;
    for (int i = 0; i < 24; i++)
        archive += ZlibRecord(U16("big" + std::to_string(i)), Content(i, entrySize));
    ArchiveInUse use(archive + EndRecord());
    StrArray names;
    names.makeEmpty();
    for (int i = 0; i < 24; i++)
        names.append(StrOf("big" + std::to_string(i)));

    SUBCASE("bytes bind first")
    {
        EntryPipeline pipeline(names, Limits(3, 16, 4 * static_cast<int64_t>(entrySize)));
        WaitFor("the workers to fill 4 MiB ahead", [&] { return pipeline.peakBytes() == 4 * entrySize; });
        for (int i = 0; i < 24; i++)
            CHECK(pipeline.next().length() == entrySize);
        CHECK(pipeline.peakBytes() == 4 * entrySize);
        CHECK(pipeline.peakEntries() == 4);
    }
    SUBCASE("entries bind first")
    {
        EntryPipeline pipeline(names, Limits(2, 3, 64 << 20));
        WaitFor("the workers to fill 3 entries ahead", [&] { return pipeline.peakEntries() == 3; });
        for (int i = 0; i < 24; i++)
            CHECK(Text(pipeline.next()) == Content(i, entrySize));
        CHECK(pipeline.peakEntries() == 3);
        CHECK(pipeline.peakBytes() == 3 * entrySize);
    }
}

TEST_CASE("a damaged or missing entry fails where the caller reaches it, and the list goes on")
{
    std::string good = Content(1, 5000);
    std::string damaged = ZlibRecord(u"Middle.bin", good, 77);
    damaged[damaged.size() - 10] ^= 0x20;
    ArchiveInUse use(ZlibRecord(u"first.txt", good, 11) + damaged + ZlibRecord(u"last.txt", good, 33) +
                     EndRecord());
    EntryPipeline pipeline(Names({L"first.txt", L"middle.BIN", L"absent.txt", L"last.txt"}), Limits(2, 8, 1 << 20));
    WaitFor("every entry to be unpacked ahead", [&] { return pipeline.peakEntries() == 4; });
    CHECK(Text(pipeline.next()) == good);
    try {
        pipeline.next();
        FAIL("no error");
    } catch (const CrcError& e) {
        CHECK(e.code == ErrCorrupted);
        CHECK(std::wstring(e.text) == L"Middle.bin"); // the record's own name
        CHECK(LastEntryTime == 77);
    }
    try {
        pipeline.next();
        FAIL("no error");
    } catch (const WinError& e) {
        CHECK(e.code == ERROR_FILE_NOT_FOUND);
        CHECK(std::wstring(e.text) == L"absent.txt"); // the requested name
    }
    CHECK(Text(pipeline.next()) == good);
    CHECK(LastEntryTime == 33);
}

TEST_CASE("stopping early ends every worker and frees what was read ahead")
{
    std::string archive;
    for (int i = 0; i < 1000; i++)
        archive += ZlibRecord(U16("f" + std::to_string(i)), Content(i, 20000));
    ArchiveInUse use(archive + EndRecord());
    StrArray names;
    names.makeEmpty();
    for (int i = 0; i < 1000; i++)
        names.append(StrOf("f" + std::to_string(i)));

    int before = ThreadCount();
    {
        EntryPipeline pipeline(names, Limits(4, 32, 64 << 20));
        CHECK(ThreadCount() == before + 4);
        for (int i = 0; i < 3; i++)
            CHECK(Text(pipeline.next()) == Content(i, 20000));
        WaitFor("the workers to run ahead", [&] { return pipeline.peakEntries() == 32; });
        pipeline.stop();
        CHECK(ThreadCount() == before);
        CHECK_THROWS_AS(pipeline.next(), IndexError);
    }
    {
        EntryPipeline pipeline(names, Limits(4, 32, 64 << 20)); // destroyed while the workers run
    }
    CHECK(ThreadCount() == before);
}

TEST_CASE("thousands of tiny entries, the empty one included")
{
    std::string archive;
    StrArray names;
    names.makeEmpty();
    for (int i = 0; i < 5000; i++) {
        std::string name = "d" + std::to_string(i / 100) + "\\t" + std::to_string(i);
        std::string data = Content(i, i % 2 ? i % 97 : i % 89);
        // A zlib stream exactly as long as its file would be read as stored raw.
        bool zlib = i % 2 && ZlibOf(data).size() != data.size();
        archive += zlib ? ZlibRecord(U16(name), data) : RawRecord(U16(name), data);
        names.append(StrOf(name));
    }
    ArchiveInUse use(archive + EndRecord());
    EntryPipeline pipeline(names);
    for (int i = 0; i < 5000; i++)
        REQUIRE(Text(pipeline.next()) == Content(i, i % 2 ? i % 97 : i % 89));
}

TEST_CASE("one entry larger than the window still comes through, alone")
{
    const int32_t hugeSize = 48 << 20;
    std::string huge(hugeSize, '\0');
    for (int32_t i = 0; i < hugeSize; i += 4096)
        huge[i] = static_cast<char>(i >> 12);
    ArchiveInUse use(RawRecord(u"small.txt", "small") + ZlibRecord(u"huge.bin", huge) +
                     RawRecord(u"after.txt", "after") + EndRecord());
    EntryPipeline pipeline(Names({L"small.txt", L"huge.bin", L"after.txt"}), Limits(2, 8, 1 << 20));
    CHECK(Text(pipeline.next()) == "small");
    ByteArray bytes = pipeline.next();
    CHECK(Text(bytes) == huge);
    // Its worker stayed a few slices ahead of the reader: the memory does not grow with the file.
    CHECK(pipeline.peakSliceBytes() <= EntryQueueLimit + 2 * SliceSize);
    CHECK(Text(pipeline.next()) == "after");
}

TEST_CASE("a handler deals with entries ahead, on the workers; damaged and missing ones fail where the caller is")
{
    std::string archive;
    StrArray names;
    names.makeEmpty();
    for (int i = 0; i < 200; i++) {
        std::string name = "f" + std::to_string(i);
        std::string record = ZlibRecord(U16(name), Content(i, 3000 + i), 5000 + i);
        if (i == 120)
            record[record.size() - 7] ^= 0x10; // damaged
        archive += record;
        names.append(StrOf(name));
    }
    Str absent(L"absent");
    names.insert(150, &absent, 1);
    ArchiveInUse use(archive + EndRecord());

    // What the handler saw, by index: the bytes and time it was given, and the thread.
    struct Seen {
        CRITICAL_SECTION lock;
        std::map<int64_t, std::pair<std::string, uint64_t>> entries;
        std::set<DWORD> threads;
    } seen;
    InitializeCriticalSection(&seen.lock);
    // Odd entries are refused, some before reading a byte and some after reading them all (as a
    // write that fails midway): both come out of next as if there were no handler.
    EntryHandler handler = {[](void* context, int64_t index, int64_t size, uint64_t time, const ByteSource& bytes, bool) {
                                if (index % 4 == 1)
                                    return false;
                                std::string got;
                                const uint8_t* piece;
                                int64_t count;
                                while (bytes.next(bytes.context, &piece, &count))
                                    got.append(reinterpret_cast<const char*>(piece), static_cast<size_t>(count));
                                Seen& seen = *static_cast<Seen*>(context);
                                EnterCriticalSection(&seen.lock);
                                seen.entries[index] = {got, time};
                                seen.threads.insert(GetCurrentThreadId());
                                LeaveCriticalSection(&seen.lock);
                                return index % 2 == 0 && static_cast<int64_t>(got.size()) == size;
                            },
                            &seen};
    {
        EntryPipeline pipeline(names, Limits(3, 8, 1 << 20));
        CHECK(Text(pipeline.next()) == Content(0, 3000)); // before the handler
        pipeline.handleAhead(&handler);
        for (int64_t i = 1; i < names.length(); i++) {
            CAPTURE(i);
            int file = static_cast<int>(i < 150 ? i : i - 1);
            REQUIRE(pipeline.waitReady(20000));
            int64_t size = 0;
            if (i == 120 || i == 150) {
                CHECK_THROWS_AS(pipeline.next(&size), Error);
                continue;
            }
            ByteArray bytes = pipeline.next(&size);
            CHECK(LastEntryTime == static_cast<uint64_t>(5000 + file));
            if (size >= 0) {
                CHECK(size == 3000 + file);
                CHECK(bytes.length() == 0);
                CHECK(i % 2 == 0);
            } else {
                CHECK(Text(bytes) == Content(file, 3000 + file));
            }
        }
        CHECK_THROWS_AS(pipeline.next(), IndexError);
    }
    // Every even entry that reached the handler was handled there, with its own bytes and time, on
    // the workers; the damaged and the missing one never reached it.
    CHECK(seen.entries.count(120) == 0);
    CHECK(seen.entries.count(150) == 0);
    CHECK(seen.threads.count(GetCurrentThreadId()) == 0);
    CHECK(seen.entries.size() > 100);
    for (const auto& entry : seen.entries) {
        int file = static_cast<int>(entry.first < 150 ? entry.first : entry.first - 1);
        CHECK(entry.second.first == Content(file, 3000 + file));
        CHECK(entry.second.second == static_cast<uint64_t>(5000 + file));
    }
    DeleteCriticalSection(&seen.lock);
}

TEST_CASE("a stream that goes wrong after its first slices fails where the caller reaches it, also when written ahead")
{
    // Right CRCs over streams that end before their declared size, or run past it: only the
    // unpacking shows it, slices after the first.
    std::string data = Content(7, 3 * SliceSize + 100);
    std::string stream = ZlibOf(data);
    int32_t size = static_cast<int32_t>(data.size());
    ArchiveInUse use(ZlibRecord(u"before.txt", "before") + Record(u"Short.bin", EntryKindZlib, stream, size + 5000, 21) +
                     Record(u"Long.bin", EntryKindZlib, stream, size - 5000, 22) + ZlibRecord(u"after.txt", "after") +
                     EndRecord());
    EntryHandler reader = {[](void*, int64_t, int64_t, uint64_t, const ByteSource& bytes, bool) {
                               const uint8_t* piece;
                               int64_t count;
                               while (bytes.next(bytes.context, &piece, &count)) {
                               }
                               return true;
                           },
                           nullptr};
    for (bool ahead : {false, true}) {
        CAPTURE(ahead);
        // One entry ahead at most: the first may be begun before the handler is set, the rest not.
        EntryPipeline pipeline(Names({L"before.txt", L"short.bin", L"long.bin", L"after.txt"}), Limits(2, 1, 64 << 20));
        if (ahead)
            pipeline.handleAhead(&reader);
        int64_t handled = 0;
        std::string first = Text(pipeline.next(&handled));
        CHECK(first == (handled == 6 ? "" : "before"));
        for (const wchar_t* name : {L"Short.bin", L"Long.bin"}) {
            REQUIRE(pipeline.waitReady(20000)); // a worker has it: the caller does not read it itself
            try {
                pipeline.next(&handled);
                FAIL("no error");
            } catch (const CrcError& e) {
                CHECK(std::wstring(e.text) == name); // the record's own name
                CHECK(LastEntryTime == (name[0] == L'S' ? 21u : 22u));
            }
        }
        REQUIRE(pipeline.waitReady(20000));
        CHECK(Text(pipeline.next(&handled)) == (ahead ? "" : "after"));
        CHECK(handled == (ahead ? 5 : -1));
    }
}

// Patches as liblzma writes them behind a preset dictionary: Content(1, 3000) with its first byte
// changed and "appended" added, behind Content(1, 3000); Content(7, 300000) with its first and last
// bytes changed and "inserted" in its middle, behind Content(7, 300000) (more than a slice: it is
// unpacked whole, after its base).
static const char SmallPatch[] =
    "5D001800000022DFF6DDF6FFFBFFEA40665E08BD32789A8FBEA17A658324B48DCC7C751FFA00";
static const char LargePatch[] =
    "5D00000C000022CE44BFF97F98DB3EF0FBAE5B0FB594820082492EFB3F2FFEE3D82F5727B175D33CA28BDB1772C84D1A"
    "D48FCF6A572C8BBED8C64A516C7DB15A27317B85CB5994938C8DBAC5BCB37CD912D63D7AB1AF2884028C564F7EC5F4A5"
    "5D8396C8E81A3D534CE54FEE59074F01F8E777C7A6C0381059C2A26C42CB883F5C008FD04EAF2618C4F96E156400";

namespace {

std::string FromHex(const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return bytes;
}

std::string PatchRecord(const std::u16string& name, const char* stream, const std::string& base,
                        const std::string& file, uint64_t time)
{
    std::string stored(PatchFieldsSize, '\0');
    WritePatchFields(reinterpret_cast<uint8_t*>(&stored[0]), static_cast<int32_t>(base.size()),
                     Crc32(Bytes(base), static_cast<int64_t>(base.size())),
                     Crc32(Bytes(file), static_cast<int64_t>(file.size())));
    return Record(name, EntryKindPatch, stored + FromHex(stream), static_cast<int32_t>(file.size()), time);
}

// The bases by index in the list, as an installer reads them from the installed files.
struct Bases {
    std::vector<std::string> files;
    LONG reads;
};

bool ReadBase(void* context, int64_t index, uint8_t* into, int64_t count)
{
    Bases& bases = *static_cast<Bases*>(context);
    if (index < 0 || index >= static_cast<int64_t>(bases.files.size()) ||
        static_cast<int64_t>(bases.files[index].size()) != count)
        return false;
    memcpy(into, bases.files[index].data(), static_cast<size_t>(count));
    InterlockedIncrement(&bases.reads);
    return true;
}

} // namespace

TEST_CASE("patches unpack behind their bases, ahead or on the caller; one over another base is damaged")
{
    std::string small = Content(1, 3000), smallNew = "E" + small.substr(1) + "appended";
    std::string large = Content(7, 300000), largeNew = "E" + large.substr(1, 149999) + "inserted" +
                                                       large.substr(150000, 149999) + "!";
    std::string otherBase = small;
    otherBase[1500] ^= 1;
    ArchiveInUse use(PatchRecord(u"small.bin", SmallPatch, small, smallNew, 41) +
                     PatchRecord(u"large.bin", LargePatch, large, largeNew, 42) +
                     PatchRecord(u"Other.bin", SmallPatch, small, smallNew, 43) +
                     ZlibRecord(u"after.txt", "after", 44) + EndRecord());
    StrArray names = Names({L"small.bin", L"large.bin", L"other.bin", L"after.txt"});

    // Without its bases a patch is not taken up ahead, and fails where the caller reaches it.
    {
        EntryPipeline pipeline(names, Limits(2, 8, 1 << 20));
        pipeline.waitReady(50);
        CHECK(pipeline.peakEntries() == 0);
        CHECK_THROWS_AS(pipeline.next(), CrcError);
    }

    struct Written {
        CRITICAL_SECTION lock;
        std::map<int64_t, std::string> files;
    } written;
    InitializeCriticalSection(&written.lock);
    EntryHandler handler = {[](void* context, int64_t index, int64_t, uint64_t, const ByteSource& bytes, bool) {
                                std::string got;
                                const uint8_t* piece;
                                int64_t count;
                                while (bytes.next(bytes.context, &piece, &count))
                                    got.append(reinterpret_cast<const char*>(piece), static_cast<size_t>(count));
                                Written& written = *static_cast<Written*>(context);
                                EnterCriticalSection(&written.lock);
                                written.files[index] = got;
                                LeaveCriticalSection(&written.lock);
                                return true;
                            },
                            &written};
    auto writtenFile = [&](int64_t index) {
        EnterCriticalSection(&written.lock);
        std::string file = written.files[index];
        LeaveCriticalSection(&written.lock);
        return file;
    };
    for (bool ahead : {false, true}) {
        CAPTURE(ahead);
        Bases bases = {{small, large, otherBase}, 0};
        written.files.clear();
        EntryPipeline pipeline(names, Limits(2, 8, 1 << 20));
        pipeline.readBasesWith(PatchBaseReader{ReadBase, &bases});
        if (ahead)
            pipeline.handleAhead(&handler);
        const std::string* expected[] = {&smallNew, &largeNew};
        for (int64_t i = 0; i < 2; i++) {
            REQUIRE(pipeline.waitReady(20000));
            int64_t handled = 0;
            std::string got = Text(pipeline.next(&handled));
            CHECK(LastEntryTime == static_cast<uint64_t>(41 + i));
            CHECK((handled >= 0 ? writtenFile(i) : got) == *expected[i]);
        }
        try {
            pipeline.next();
            FAIL("no error");
        } catch (const CrcError& e) {
            CHECK(std::wstring(e.text) == L"Other.bin");
        }
        int64_t handled = 0;
        std::string after = Text(pipeline.next(&handled));
        CHECK((handled >= 0 ? writtenFile(3) : after) == "after");
        CHECK(bases.reads >= 3);
    }
    DeleteCriticalSection(&written.lock);
}

} // TEST_SUITE
