// The user locale's text services for the fuzzers, which run the Windows programs' portable code
// natively (built with 16-bit wchar_t): the C.UTF-8 locale's case mapping per code point and an
// ordinal comparison of the lower-cased texts.
#include "core/LocaleText.h"

#include <locale.h>
#include <wctype.h>

static locale_t UnicodeLocale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

// The code point at i (a surrogate pair counts as one), advancing i.
static uint32_t NextCodePoint(const wchar_t* text, int32_t length, int32_t& i)
{
    uint32_t unit = static_cast<uint16_t>(text[i++]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i < length) {
        uint32_t low = static_cast<uint16_t>(text[i]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            i++;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return unit;
}

static uint32_t Mapped(uint32_t code, bool upper)
{
    if (code >= 0xD800 && code <= 0xDFFF)
        return code;
    wint_t mapped = upper ? towupper_l(static_cast<wint_t>(code), UnicodeLocale())
                          : towlower_l(static_cast<wint_t>(code), UnicodeLocale());
    return static_cast<uint32_t>(mapped);
}

int LocaleMapCase(const wchar_t* in, int32_t length, wchar_t* out, bool upper)
{
    int32_t written = 0;
    for (int32_t i = 0; i < length;) {
        uint32_t code = Mapped(NextCodePoint(in, length, i), upper);
        if (code >= 0x10000) {
            if (written + 2 > length)
                return 0;
            out[written++] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            out[written++] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            if (written + 1 > length)
                return 0;
            out[written++] = static_cast<wchar_t>(code);
        }
    }
    return written;
}

int LocaleCompareNoCase(const wchar_t* a, int32_t lengthA, const wchar_t* b, int32_t lengthB)
{
    int32_t i = 0, j = 0;
    while (i < lengthA && j < lengthB) {
        uint32_t x = Mapped(NextCodePoint(a, lengthA, i), false),
                 y = Mapped(NextCodePoint(b, lengthB, j), false);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i < lengthA)
        return 1;
    return j < lengthB ? -1 : 0;
}
