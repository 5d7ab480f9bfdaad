#include "core/StrFormat.h"

#include "core/Error.h"

#include <string.h>

// Number texts go through a 50-unit buffer.
static int64_t NumberText(const FormatArg& arg, wchar_t (&buffer)[50])
{
    if (arg.kind == FormatArg::Real) {
        if (!arg.realText)
            throw CheckFailed(L"FormatArg real without RealToText");
        return arg.realText(arg.real, buffer);
    }
    Str digits = IntToStr(arg.integer);
    CopyTextToBuffer(digits.text(), buffer, 50);
    return digits.length();
}

int64_t FormatArg::Size() const
{
    wchar_t buffer[50];
    switch (kind) {
    case String:
        return length;
    case Integer:
    case Real:
        return NumberText(*this, buffer);
    default:
        throw CheckFailed(L"FormatArg::Size got undefined argument");
    }
}

void FormatArg::StrArg(wchar_t* out, int64_t& position, int64_t capacity) const
{
    wchar_t buffer[50];
    const wchar_t* units;
    int64_t count;
    switch (kind) {
    case String:
        units = text;
        count = length;
        break;
    case Integer:
    case Real:
        count = NumberText(*this, buffer);
        units = buffer;
        break;
    default:
        throw CheckFailed(L"FormatArg::StrArg got undefined argument");
    }
    if (count >= capacity - position)
        throw IndexError();
    if (count)
        memcpy(out + position, units, count * sizeof(wchar_t));
    position += count;
}

// The scan both passes share: calls literal(unit) for each literal unit and placeholder(arg) for
// each "[]". Mistakes throw CheckFailed with the pass's own prefix.
template <class Literal, class Placeholder>
static void ScanTemplate(const wchar_t* templ, const FormatArg* const* args, bool measuring,
                         Literal literal, Placeholder placeholder)
{
    int used = 0;
    for (const wchar_t* p = templ; p && *p; p++) {
        if (*p != L'[') {
            if (!literal(*p))
                return;
            continue;
        }
        if (p[1] == L'[') {
            p++;
            if (!literal(L'['))
                return;
        } else if (p[1] == L']') {
            p++;
            if (used == 5)
                throw CheckFailed(measuring ? L"StrFormatSize used too many arguments"
                                            : L"StrFormat used too many arguments");
            placeholder(*args[used++]);
        } else {
            throw CheckFailed(measuring ? L"StrFormatSize unknown format" : L"StrFormat unknown format");
        }
    }
}

int64_t StrFormatSize(const wchar_t* templ, const FormatArg& a1, const FormatArg& a2, const FormatArg& a3,
                      const FormatArg& a4, const FormatArg& a5)
{
    const FormatArg* args[5] = {&a1, &a2, &a3, &a4, &a5};
    int64_t size = 0;
    ScanTemplate(
        templ, args, true,
        [&](wchar_t) {
            size++;
            return true;
        },
        [&](const FormatArg& arg) { size += arg.Size(); });
    return size;
}

Str StrFormat(const wchar_t* templ, const FormatArg& a1, const FormatArg& a2, const FormatArg& a3,
              const FormatArg& a4, const FormatArg& a5)
{
    const FormatArg* args[5] = {&a1, &a2, &a3, &a4, &a5};
    int64_t size = StrFormatSize(templ, a1, a2, a3, a4, a5);
    Str result = Str::Allocate(size);
    wchar_t* out = result.bufferForFilling();
    int64_t capacity = size + 1, position = 0;
    ScanTemplate(
        templ, args, false,
        [&](wchar_t unit) {
            if (position >= capacity - 1)
                return false; // the terminator always fits
            out[position++] = unit;
            return true;
        },
        [&](const FormatArg& arg) { arg.StrArg(out, position, capacity); });
    out[position] = 0;
    return result;
}
