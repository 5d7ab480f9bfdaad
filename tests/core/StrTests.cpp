#include "doctest.h"

#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Str.h"
#include "core/StrFormat.h"
#include "core/Utf8.h"

#include <initializer_list>
#include <string.h>

static Str Decode(std::initializer_list<uint8_t> bytes)
{
    return Utf8ToStr(bytes.begin(), static_cast<int64_t>(bytes.size()));
}

TEST_SUITE("str") {

TEST_CASE("null and empty strings behave alike and sharing counts handles")
{
    Str none;
    CHECK(none.length() == 0);
    CHECK(none.text()[0] == 0);
    CHECK(none.isEmpty());
    Str alsoNone = none; // sharing null does nothing
    alsoNone.release();
    CHECK(Str(L"").isEmpty());
    CHECK(Str(L"").shareCount() == 1);

    Str a(L"abc");
    {
        Str b = a;
        Str c;
        c = b;
        CHECK(a.shareCount() == 3);
        CHECK(c.sameBlock(a));
    }
    CHECK(a.shareCount() == 1);
    a = a; // self-assignment keeps the block
    CHECK(a == L"abc");
    a.append(a); // appending to itself builds a new block from the old one
    CHECK(a == L"abcabc");
}

TEST_CASE("a block with count -1 is never counted or freed")
{
    Str permanent = Str::Permanent(L"keep");
    for (int i = 0; i < 5; i++) {
        Str copy = permanent;
        copy.release();
    }
    CHECK(permanent.shareCount() == -1);
    permanent.release();
    Str again = Str::Permanent(L"x");
    Str copy = again;
    again.release();
    CHECK(copy == L"x");
}

TEST_CASE("Concat of lists, pointers and ranges")
{
    const wchar_t* sixteen[17];
    for (int i = 0; i < 16; i++)
        sixteen[i] = L"ab";
    sixteen[16] = nullptr;
    CHECK(ConcatList(sixteen).length() == 32);

    const wchar_t* seventeen[18];
    for (int i = 0; i < 17; i++)
        seventeen[i] = L"a";
    seventeen[17] = nullptr;
    CHECK_THROWS_AS(ConcatList(seventeen), IndexError);

    CHECK(Concat(L"a", nullptr, L"c") == L"ac");
    CHECK(Concat(L"abc", 2, L"xyz", 1, L"", 0) == L"abx");
}

TEST_CASE("IntToStr and RealToText")
{
    CHECK(IntToStr(-7) == L"-7");
    CHECK(IntToStr(0) == L"0");
    CHECK(IntToStr(INT64_MIN) == L"-9223372036854775808");
    wchar_t buffer[50];
    RealToText(0.5, buffer);
    CHECK(Str(buffer) == L"0.5");
    RealToText(1e20, buffer);
    CHECK(Str(buffer) == L"1e+20");
    CHECK(StrFormat(L"[] []", FormatArg(0.25), FormatArg(7)) == L"0.25 7");
}

TEST_CASE("DigitsOf pads with zeros like %0*u and %0*x")
{
    CHECK(DigitsOf(7, 10, 2) == L"07");
    CHECK(DigitsOf(2026, 10, 4) == L"2026");
    CHECK(DigitsOf(123456, 10, 2) == L"123456"); // never cut
    CHECK(DigitsOf(0, 10, 1) == L"0");
    CHECK(DigitsOf(0xBEEF, 16, 8) == L"0000beef");
    CHECK(DigitsOf(UINT64_MAX, 10, 1) == L"18446744073709551615");
    CHECK(DigitsOf(UINT64_MAX, 16, 1) == L"ffffffffffffffff");
}

TEST_CASE("CopyTextToBuffer needs room for the terminator")
{
    wchar_t buffer[4];
    CopyTextToBuffer(L"abc", buffer, 4);
    CHECK(Str(buffer) == L"abc");
    CHECK_THROWS_AS(CopyTextToBuffer(L"abcd", buffer, 4), IndexError);
}

TEST_CASE("case-insensitive equality walks code points")
{
    CHECK(StrEqualNoCase(L"ABC", 3, L"abc", 3));
    CHECK_FALSE(StrEqualNoCase(L"ABC", 3, L"abcd", 4));
    CHECK(StrEqualNoCase(L"ZAŻÓŁĆ", 6, L"zażółć", 6));
    // U+10400 and U+10428 are the upper and lower forms of one Deseret letter.
    CHECK(StrEqualNoCase(L"\xD801\xDC00", 2, L"\xD801\xDC28", 2));
    // different unit lengths are never equal, even if folding would make them alike
    CHECK_FALSE(StrEqualNoCase(L"\x0130", 1, L"i\x0307", 2));
    CHECK(StrCompareNoCase(L"a", 1, L"B", 1) == -1);
    CHECK(StrCompareNoCase(L"Name", 4, L"name", 4) == 0);
    CHECK_THROWS_AS(StrCompareNoCase(L"a", 0x80000000LL, L"b", 1), CheckFailed);
}

TEST_CASE("character case mapping")
{
    CHECK(ToUpperChar('a') == 'A');
    CHECK(ToLowerChar('Q') == 'q');
    CHECK(ToLowerChar(0xDC00) == 0xFFFD);
    CHECK(ToUpperChar(-1) == 0xFFFD);
    CHECK(ToUpperChar(0x110000) == 0xFFFD);
    CHECK(ToUpperChar(0x105) == 0x104); // ą
    CHECK(ToLowerChar(0x10400) == 0x10428);
}

TEST_CASE("UTF-8 decoding rules")
{
    CHECK(Decode({0xEF, 0xBB, 0xBF, 0x61}) == L"a");
    CHECK(Decode({0xC3, 0x41}) == L"?A");
    CHECK(Decode({0x80}) == L"?");
    CHECK(Decode({0xF0, 0x9F, 0x98, 0x80}) == L"\xD83D\xDE00");
    CHECK(Decode({0xEF, 0xBB, 0xBF}).isEmpty());
    CHECK(Decode({0xEF, 0xBB}) == L"\x03FB");
    CHECK(Decode({0xFF, 0xF8, 0x41}) == L"??A");
    CHECK(Decode({0xC5, 0xBC, 0xC3, 0xB3}) == L"żó");
    CHECK(Decode({0xE2, 0x82}).at(0) == ((0x2 << 6) | 0x02));
    CHECK(Utf8ToStr(nullptr, 0).isEmpty());
}

} // TEST_SUITE
