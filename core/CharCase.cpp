#include "core/CharCase.h"

#include "core/Error.h"
#include "core/LocaleText.h"

static int32_t MapCase(int32_t codePoint, bool upper)
{
    if (codePoint < 0 || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return 0xFFFD;
    if (codePoint < 128) {
        if (upper && codePoint >= 'a' && codePoint <= 'z')
            return codePoint - 32;
        if (!upper && codePoint >= 'A' && codePoint <= 'Z')
            return codePoint + 32;
        return codePoint;
    }
    if (codePoint <= 0xFFFF) {
        wchar_t in = static_cast<wchar_t>(codePoint), out = 0;
        if (LocaleMapCase(&in, 1, &out, upper) != 1)
            return codePoint;
        return out;
    }
    int32_t v = codePoint - 0x10000;
    wchar_t in[2] = {static_cast<wchar_t>(0xD800 + (v >> 10)), static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
    wchar_t out[2] = {0, 0};
    if (LocaleMapCase(in, 2, out, upper) != 2)
        return codePoint;
    if (out[0] < 0xD800 || out[0] > 0xDBFF || out[1] < 0xDC00 || out[1] > 0xDFFF)
        return codePoint;
    return 0x10000 + ((out[0] - 0xD800) << 10) + (out[1] - 0xDC00);
}

int32_t ToUpperChar(int32_t codePoint)
{
    return MapCase(codePoint, true);
}

int32_t ToLowerChar(int32_t codePoint)
{
    return MapCase(codePoint, false);
}

// The code point at position, advancing position by one or two units.
static int32_t NextCodePoint(const wchar_t* text, int64_t length, int64_t& position)
{
    wchar_t unit = text[position++];
    if (unit >= 0xD800 && unit <= 0xDBFF && position < length && text[position] >= 0xDC00 &&
        text[position] <= 0xDFFF)
        return 0x10000 + ((unit - 0xD800) << 10) + (text[position++] - 0xDC00);
    return unit;
}

static int32_t Fold(int32_t codePoint)
{
    if (codePoint >= 'A' && codePoint <= 'Z')
        return codePoint + 32;
    return codePoint > 127 ? ToLowerChar(codePoint) : codePoint;
}

bool StrEqualNoCase(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB)
{
    if (lengthA != lengthB)
        return false;
    int64_t i = 0, j = 0;
    while (i < lengthA && j < lengthB) {
        if (Fold(NextCodePoint(a, lengthA, i)) != Fold(NextCodePoint(b, lengthB, j)))
            return false;
    }
    return true;
}

bool StrEqualNoCase(const Str& a, const Str& b)
{
    return StrEqualNoCase(a.text(), a.length(), b.text(), b.length());
}

bool StrEqualNoCase(const Str& a, const wchar_t* b)
{
    return StrEqualNoCase(a.text(), a.length(), b, TextLength(b));
}

uint32_t HashNoCase(const wchar_t* text, int64_t length)
{
    uint32_t hash = 2166136261u; // FNV-1a over the folded code points
    int64_t i = 0;
    while (i < length) {
        uint32_t folded = static_cast<uint32_t>(Fold(NextCodePoint(text, length, i)));
        for (int byte = 0; byte < 3; byte++) {
            hash ^= (folded >> (8 * byte)) & 0xFF;
            hash *= 16777619u;
        }
    }
    return hash ^ static_cast<uint32_t>(length);
}

int StrCompareNoCase(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB)
{
    return LocaleCompareNoCase(a, CheckInt(lengthA), b, CheckInt(lengthB));
}
