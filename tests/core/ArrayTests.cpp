#include "doctest.h"

#include "core/Array.h"
#include "core/Error.h"
#include "core/KeyValueList.h"

TEST_SUITE("array") {

TEST_CASE("the growth rule")
{
    // StrArray: separate storage, 8-byte elements, divisor 4.
    ArrayGrowth one = ComputeArrayGrowth(1, 8, false, 4);
    CHECK(one.capacity == 2); // 24 bytes round to 32
    CHECK(one.blockBytes == 16);
    // ByteArray: inline storage, divisor 128: 5000 + 48 bytes grow in steps of 32.
    ArrayGrowth bytes = ComputeArrayGrowth(5000, 1, true, 128);
    CHECK(bytes.blockBytes == 5056 - 16);
    CHECK(bytes.capacity == 5056 - 48);
    CHECK_THROWS_AS(ComputeArrayGrowth(INT64_MAX / 2, 8, false, 4), MemoryError);
}

TEST_CASE("shared StrArray handles see every change; the last release frees the elements")
{
    Str item(L"x");
    StrArray a;
    a.makeEmpty();
    StrArray b = a;
    for (int i = 0; i < 100; i++)
        a.append(item);
    CHECK(b.length() == 100);
    CHECK(item.shareCount() == 101);
    a.release();
    CHECK(item.shareCount() == 101);
    b.release();
    CHECK(item.shareCount() == 1);
}

TEST_CASE("inline arrays part ways when one holder grows")
{
    ByteArray a;
    uint8_t bytes[3] = {1, 2, 3};
    a.append(bytes, 3);
    ByteArray b = a;
    a.append(bytes, 1); // within capacity: in place, both see it
    CHECK(b.length() == 4);
    a.resize(5000); // grows: a gets a new block, b keeps the old one
    CHECK(a.length() == 5000);
    CHECK(b.length() == 4);
    CHECK(a.items()[3] == 1);
    CHECK(a.shareCount() == 1);
    CHECK(b.shareCount() == 1);
}

TEST_CASE("insertion bounds and an unchanged target after a failure")
{
    StrArray a;
    Str x(L"x");
    a.append(x);
    CHECK_THROWS_AS(a.insert(2, &x, 1), IndexError);
    CHECK_THROWS_AS(a.insert(-1, &x, 1), IndexError);
    CHECK_THROWS_AS(a.remove(0, 2), IndexError);
    CHECK_THROWS_AS(a.remove(-1, 1), IndexError);
    CHECK(a.length() == 1);
    a.insert(1, &x, 1); // at length: appends
    CHECK(a.length() == 2);
    StrArray none;
    CHECK_THROWS_AS(none.at(0), IndexError);
    ByteArray bytes;
    CHECK_THROWS_AS(bytes.resize(-1), IndexError);
}

TEST_CASE("room for filling keeps what was there and is sized exactly")
{
    ByteArray bytes;
    bytes.resizeForFilling(3);
    REQUIRE(bytes.length() == 3);
    memcpy(bytes.items(), "abc", 3);
    ByteArray shared = bytes;
    bytes.resizeForFilling(100000); // grows: a block of its own, the old one stays with shared
    REQUIRE(bytes.length() == 100000);
    CHECK(memcmp(bytes.items(), "abc", 3) == 0);
    CHECK(shared.length() == 3);
    bytes.resizeForFilling(2);
    CHECK(bytes.length() == 2);
    bytes.resizeForFilling(3); // within the capacity: no new block
    CHECK(bytes.length() == 3);
    CHECK(memcmp(bytes.items(), "ab", 2) == 0);
    CHECK_THROWS_AS(bytes.resizeForFilling(-1), IndexError);
}

TEST_CASE("inserting a range of the same array")
{
    StrArray a;
    auto fill = [&](const wchar_t* letters) {
        a.makeEmpty();
        for (const wchar_t* p = letters; *p; p++)
            a.append(Str(p, 1));
    };
    auto joined = [&]() {
        Str all;
        for (int64_t i = 0; i < a.length(); i++)
            all.append(a.at(i));
        return all;
    };
    // In place: five elements give room for six, so one removal leaves room for two.
    fill(L"abcde");
    a.remove(4, 1);
    REQUIRE(a.capacity() >= 6);
    SUBCASE("source behind the insertion point is read from its moved position")
    {
        a.insert(1, a.items() + 2, 2);
        CHECK(joined() == L"acdbcd");
    }
    SUBCASE("source straddling the insertion point")
    {
        a.insert(2, a.items() + 1, 2);
        CHECK(joined() == L"abbccd");
    }
    SUBCASE("source in front of the insertion point")
    {
        a.insert(3, a.items(), 2);
        CHECK(joined() == L"abcabd");
    }
    SUBCASE("a reallocation reads the source from the old block")
    {
        a.insert(0, a.items(), 4);
        CHECK(joined() == L"abcdabcd");
    }
}

TEST_CASE("CharBuffer reserves zero units")
{
    CharBuffer buffer;
    buffer.appendText(L"ab", 2);
    buffer.reserveZeros(3);
    CHECK(buffer.length() == 5);
    CHECK(buffer.text()[0] == L'a');
    CHECK(buffer.text()[4] == 0);
}

} // TEST_SUITE

TEST_SUITE("keyvalue") {

TEST_CASE("lookups ignore case, keep order, and replace only the value")
{
    KeyValueList list;
    list.set(Str(L"name"), Str(L"A"));
    list.set(Str(L"Exe-File"), Str(L"a.exe"));
    list.set(Str(L"copyright"), Str(L"(c)"));
    CHECK(list.find(L"Name") == 4);
    CHECK(list.find(L"exe-file") == 2);
    CHECK(list.find(L"copyright") == 0);
    CHECK(list.find(L"nothing") == -1);
    list.set(Str(L"NAME"), Str(L"B"));
    CHECK(list.items.length() == 6);
    CHECK(list.items.at(4) == L"name"); // the first spelling stays
    CHECK(list.valueOf(L"name") == L"B");
    CHECK(list.valueOf(L"absent").isEmpty());
    Str key = list.items.at(2);
    CHECK(list.find(key) == 2);
}

} // TEST_SUITE
