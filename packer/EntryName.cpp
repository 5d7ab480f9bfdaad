#include "packer/EntryName.h"

#include "archive/RelativeName.h"

#include <clocale>
#include <cstdio>
#include <cwctype>
#include <locale.h>

bool Utf8ToUtf16(const std::string& text, std::u16string& units)
{
    units.clear();
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int follow;
        char32_t code;
        if (lead < 0x80) {
            follow = 0;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            follow = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            follow = 3;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (n - i - 1 < static_cast<size_t>(follow))
            return false;
        for (int k = 1; k <= follow; k++) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        static const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[follow] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (code >> 10));
            units += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            units += static_cast<char16_t>(code);
        }
        i += 1 + follow;
    }
    return true;
}

// The code point at i (a surrogate pair counts as one; a lone surrogate becomes U+FFFD) and its
// length in units.
static char32_t CodePointAt(const std::u16string& units, size_t i, size_t& length)
{
    char16_t unit = units[i];
    length = 1;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
        length = 2;
        return 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
    }
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return 0xFFFD;
    return unit;
}

std::string Utf16ToUtf8(const std::u16string& units)
{
    std::string text;
    for (size_t i = 0, length = 0; i < units.size(); i += length) {
        char32_t code = CodePointAt(units, i, length);
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | code >> 6);
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | code >> 12);
            text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | code >> 18);
            text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

static bool IsHiddenControl(char16_t unit)
{
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x200E || unit == 0x200F ||
           (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

std::string ShownName(const std::u16string& name)
{
    std::string shown;
    std::u16string run;
    for (char16_t unit : name) {
        if (!IsHiddenControl(unit)) {
            run += unit;
            continue;
        }
        shown += Utf16ToUtf8(run);
        run.clear();
        char escape[8];
        std::snprintf(escape, sizeof escape, unit < 0x100 ? "\\x%02X" : "\\u%04X",
                      static_cast<unsigned>(unit));
        shown += escape;
    }
    return shown + Utf16ToUtf8(run);
}

// Unicode lower-case mapping of the C.UTF-8 locale, whatever locale the process runs in.
static locale_t UnicodeLocale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

std::u16string FoldedName(const std::u16string& name)
{
    std::u16string folded;
    locale_t locale = UnicodeLocale();
    for (size_t i = 0, length = 0; i < name.size(); i += length) {
        char32_t code = CodePointAt(name, i, length);
        if (code >= 'A' && code <= 'Z')
            code += 'a' - 'A';
        else if (code >= 0x80 && locale)
            code = static_cast<char32_t>(towlower_l(static_cast<wint_t>(code), locale));
        if (code >= 0x10000) {
            folded += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            folded += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            folded += static_cast<char16_t>(code);
        }
    }
    return folded;
}

int32_t UpperCaseUnit(int32_t unit)
{
    if (unit < 0 || unit > 0xFFFF || (unit >= 0xD800 && unit <= 0xDFFF))
        return 0xFFFD;
    if (unit < 0x80)
        return unit >= 'a' && unit <= 'z' ? unit - ('a' - 'A') : unit;
    locale_t locale = UnicodeLocale();
    wint_t upper = locale ? towupper_l(static_cast<wint_t>(unit), locale) : static_cast<wint_t>(unit);
    return upper <= 0xFFFF && (upper < 0xD800 || upper > 0xDFFF) ? static_cast<int32_t>(upper) : unit;
}

std::string EntryNameProblem(const std::u16string& name)
{
    NameProblem problem = CheckRelativeName(name.data(), static_cast<int64_t>(name.size()));
    return problem == NameProblem::None ? std::string() : NameProblemText(problem);
}
