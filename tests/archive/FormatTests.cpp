#include "doctest.h"

#include "archive/ArchiveFormat.h"
#include "support/ArchiveBuilder.h"

#include <string>
#include <vector>
#include <zlib.h>

static bool Runs(const std::string& packed, int32_t size, std::string* out = nullptr)
{
    std::vector<uint8_t> buffer(size + 1, 0xEE);
    bool good = UnpackRuns(Bytes(packed), static_cast<int32_t>(packed.size()), buffer.data(), size);
    CHECK(buffer[size] == 0xEE); // never a byte past the output
    if (out)
        out->assign(buffer.begin(), buffer.begin() + size);
    return good;
}

static bool Inflates(const std::string& packed, int32_t size, std::string* out = nullptr)
{
    std::vector<uint8_t> buffer(size + 1, 0xEE);
    bool good = InflateExact(Bytes(packed), static_cast<int32_t>(packed.size()), buffer.data(), size);
    CHECK(buffer[size] == 0xEE);
    if (out)
        out->assign(buffer.begin(), buffer.begin() + size);
    return good;
}

static std::vector<std::string> WalkNames(const std::string& archive)
{
    std::vector<std::string> names;
    ArchiveWalk walk = StartWalk(Bytes(archive), static_cast<int64_t>(archive.size()));
    ArchiveEntry entry;
    while (NextEntry(walk, entry)) {
        std::string name;
        for (int32_t i = 0; i < entry.nameLength; i++)
            name += static_cast<char>(EntryNameUnit(entry, i));
        names.push_back(name);
    }
    return names;
}

TEST_SUITE("format") {

TEST_CASE("CRC-32 is the standard reflected one")
{
    std::string check = "123456789";
    CHECK(Crc32(Bytes(check), 9) == 0xCBF43926u);
    CHECK(Crc32(nullptr, 0) == 0);
    std::string data;
    for (int i = 0; i < 5000; i++)
        data += static_cast<char>(i * 7919 >> 3);
    uint32_t whole = Crc32(Bytes(data), static_cast<int64_t>(data.size()));
    CHECK(whole == crc32(0, Bytes(data), static_cast<uInt>(data.size())));
    CHECK(Crc32Update(Crc32(Bytes(data), 1234), Bytes(data) + 1234, 5000 - 1234) == whole);

    // Long runs are folded 64 bytes at a time: against zlib at every length around the steps where
    // the folding hands over to the table, at every alignment, and continued from any value.
    std::string noise(70000, '\0');
    uint32_t state = 2463534242u;
    for (char& c : noise) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        c = static_cast<char>(state);
    }
    const uint8_t* bytes = Bytes(noise);
    for (int64_t length : {255, 256, 257, 271, 272, 319, 320, 321, 383, 1000, 4096, 65537, 69990})
        for (int64_t offset = 0; offset < 8; offset++) {
            CAPTURE(length);
            CAPTURE(offset);
            uLong expected = crc32(0xDEADBEEF, bytes + offset, static_cast<uInt>(length));
            CHECK(Crc32Update(0xDEADBEEF, bytes + offset, length) == expected);
        }
    CHECK(Crc32Update(Crc32(bytes, 3000), bytes + 3000, 67000) == crc32(0, bytes, 70000));
}

TEST_CASE("run unpacking: literals and back-references")
{
    std::string out;
    // "abc", then 3 bytes from distance 3, then "d"
    CHECK(Runs(std::string("\x03" "abc" "\x83\x03\x00" "\x01" "d", 9), 7, &out));
    CHECK(out == "abcabcd");
    // a reference of length 0 at distance 0 produces nothing and is valid
    CHECK(Runs(std::string("\x02" "ab" "\x80\x00\x00" "\x01" "c", 8), 3, &out));
    CHECK(out == "abc");
    // output complete while input remains: the rest is ignored
    CHECK(Runs(std::string("\x02" "ab" "\x05" "zzzzz", 9), 2, &out));
    CHECK(out == "ab");
    CHECK(Runs("", 0));
}

TEST_CASE("run unpacking refuses every invalid run")
{
    // distance 3, length 4 would overlap the bytes it produces
    CHECK_FALSE(Runs(std::string("\x03" "abc" "\x84\x03\x00", 7), 7));
    // distance beyond the output so far
    CHECK_FALSE(Runs(std::string("\x02" "ab" "\x82\x03\x00", 6), 4));
    // a literal run that reads past the packed bytes
    CHECK_FALSE(Runs(std::string("\x05" "ab", 3), 5));
    // a run that writes past the size
    CHECK_FALSE(Runs(std::string("\x05" "abcde", 6), 4));
    CHECK_FALSE(Runs(std::string("\x02" "ab" "\x82\x02\x00", 6), 3));
    // a back-reference cut off inside its distance
    CHECK_FALSE(Runs(std::string("\x02" "ab" "\x82\x02", 5), 4));
    // input ends before the output is complete
    CHECK_FALSE(Runs(std::string("\x02" "ab", 3), 3));
}

TEST_CASE("inflating into an exact size")
{
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "line " + std::to_string(i) + "\n";
    std::string packed = ZlibOf(text);
    int32_t size = static_cast<int32_t>(text.size());
    std::string out;
    CHECK(Inflates(packed, size, &out));
    CHECK(out == text);
    CHECK(Inflates(GzipOf(text), size, &out));
    CHECK(out == text);
    // bytes behind the end of a complete stream are ignored
    CHECK(Inflates(packed + "trailing", size));

    CHECK_FALSE(Inflates(packed, size - 1));                     // would produce more
    CHECK_FALSE(Inflates(packed, size + 1));                     // ends too early
    CHECK_FALSE(Inflates(packed.substr(0, packed.size() - 5), size)); // cut off
    CHECK_FALSE(Inflates("not a zlib stream", size));
    CHECK_FALSE(Inflates("", size));
    CHECK(Inflates(ZlibOf(""), 0));
    CHECK_FALSE(Inflates("", 0));
}

TEST_CASE("unpacking an entry checks the CRC first and then the kind")
{
    std::string text = "hello hello hello hello";
    std::string archive = ZlibRecord(u"a", text) + Record(u"b", 7, "xyz", 3) + Record(u"c", 7, "xyz", 5) +
                          RecordWithCrc(u"d", 1, "raw", 3, 12345) + EndRecord();
    ArchiveWalk walk = StartWalk(Bytes(archive), static_cast<int64_t>(archive.size()));
    ArchiveEntry entry;
    std::vector<uint8_t> out(64);
    REQUIRE(NextEntry(walk, entry));
    CHECK(UnpackEntry(entry, out.data()) == EntryCheck::Good);
    CHECK(std::string(out.begin(), out.begin() + entry.size) == text);
    REQUIRE(NextEntry(walk, entry));
    CHECK(UnpackEntry(entry, out.data()) == EntryCheck::Good); // raw: kind not consulted
    REQUIRE(NextEntry(walk, entry));
    CHECK(UnpackEntry(entry, out.data()) == EntryCheck::BadData);
    REQUIRE(NextEntry(walk, entry));
    CHECK(UnpackEntry(entry, out.data()) == EntryCheck::BadCrc);
    CHECK_FALSE(NextEntry(walk, entry));
}

TEST_CASE("a declared size must be one that the stored bytes can give")
{
    CHECK(MaxUnpackedSize(EntryKindRuns, 3) == 254);
    CHECK(MaxUnpackedSize(EntryKindZlib, 10) == 10320);
    CHECK(MaxUnpackedSize(EntryKindLzma, 10) == 100000);
    CHECK(MaxUnpackedSize(7, 1000) == 0);
    // The densest deflate stream there is (runs of zeros) stays within the ratio.
    std::string zeros(4 << 20, '\0');
    std::string dense = ZlibOf(zeros);
    std::string archive =
        Record(u"zeros", EntryKindZlib, dense, static_cast<int32_t>(zeros.size())) +
        Record(u"bomb", EntryKindZlib, dense, static_cast<int32_t>(dense.size() * 1032 + 1)) +
        Record(u"raw", 7, "xyz", 3) + Record(u"odd", 7, "xyz", 4) + EndRecord();
    ArchiveWalk walk = StartWalk(Bytes(archive), static_cast<int64_t>(archive.size()));
    ArchiveEntry entry;
    bool expected[] = {true, false, true, false};
    for (bool plausible : expected) {
        REQUIRE(NextEntry(walk, entry));
        CHECK(DeclaredSizeIsPlausible(entry) == plausible);
    }
    walk = StartWalk(Bytes(archive), static_cast<int64_t>(archive.size()));
    REQUIRE(NextEntry(walk, entry));
    REQUIRE(NextEntry(walk, entry));
    std::vector<uint8_t> out(static_cast<size_t>(entry.size));
    CHECK(UnpackEntry(entry, out.data()) == EntryCheck::BadData);
}

TEST_CASE("the walk stops at the end record and at records that pass the end")
{
    std::string a = RawRecord(u"a", "1"), b = RawRecord(u"b", "22"), c = RawRecord(u"c", "333");
    CHECK(WalkNames(a + b + EndRecord() + c) == std::vector<std::string>{"a", "b"});
    CHECK(WalkNames(a + b + c) == std::vector<std::string>{"a", "b", "c"});
    // data cut short, header cut short, nothing at all
    CHECK(WalkNames(a + b + c.substr(0, c.size() - 1)) == std::vector<std::string>{"a", "b"});
    CHECK(WalkNames(a + c.substr(0, 20)) == std::vector<std::string>{"a"});
    CHECK(WalkNames("").empty());

    // sizes and name lengths of 2^31 and more end the walk instead of wrapping around
    for (int field : {4, 8, 24}) {
        std::string bad = b;
        bad[field + 3] = '\x80';
        CHECK(WalkNames(a + bad + c) == std::vector<std::string>{"a"});
    }
    std::string huge = b;
    huge[4] = huge[5] = huge[6] = '\xFF';
    huge[7] = '\x7F';
    CHECK(WalkNames(a + huge + c) == std::vector<std::string>{"a"});
}

TEST_CASE("the trailer of an appended archive")
{
    std::string program(100, 'P');
    std::string archive = RawRecord(u"x", "data") + EndRecord();
    std::string file = Appended(program, archive);
    int64_t offset = -1, length = -1;
    REQUIRE(FindAppendedArchive(Bytes(file), static_cast<int64_t>(file.size()), offset, length));
    CHECK(offset == 100);
    CHECK(length == static_cast<int64_t>(archive.size()));

    auto found = [&](const std::string& bytes) {
        return FindAppendedArchive(Bytes(bytes), static_cast<int64_t>(bytes.size()), offset, length);
    };
    uint32_t end = static_cast<uint32_t>(program.size() + archive.size());
    CHECK_FALSE(found(program + archive + Trailer(100, 40, end, 0x5C9F3A6F)));       // magic
    CHECK_FALSE(found(program + archive + Trailer(100, 40, end + 1)));               // own offset
    CHECK_FALSE(found(program + archive + Trailer(100, end - 99, end)));             // runs into it
    CHECK_FALSE(found(program + archive + Trailer(0xFFFFFFF0u, 0x20, end)));         // wraps around
    CHECK_FALSE(found(program + archive + Trailer(0, 0x80000000u, end)));            // too long
    CHECK(found(program + archive + Trailer(end, 0, end)));                          // empty region
    CHECK_FALSE(found(Trailer(0, 0, 0)));                                            // 16 bytes only
    CHECK(found("x" + Trailer(0, 1, 1)));
}

} // TEST_SUITE
