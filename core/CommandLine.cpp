#include "core/CommandLine.h"

#include "core/Array.h"

static bool NeedsQuotes(const Str& argument)
{
    if (argument.isEmpty())
        return true;
    for (int64_t i = 0; i < argument.length(); i++) {
        wchar_t c = argument.text()[i];
        if (c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'"')
            return true;
    }
    return false;
}

static void AppendBackslashes(CharBuffer& out, int64_t count)
{
    for (int64_t i = 0; i < count; i++)
        out.appendText(L"\\", 1);
}

Str QuoteArgument(const Str& argument)
{
    if (!NeedsQuotes(argument))
        return argument;
    CharBuffer out;
    out.appendText(L"\"", 1);
    const wchar_t* p = argument.text();
    int64_t length = argument.length();
    for (int64_t i = 0;; i++) {
        int64_t backslashes = 0;
        while (i < length && p[i] == L'\\') {
            backslashes++;
            i++;
        }
        if (i == length) {
            // The closing quote follows: each backslash before it is doubled.
            AppendBackslashes(out, backslashes * 2);
            break;
        }
        if (p[i] == L'"') {
            AppendBackslashes(out, backslashes * 2 + 1);
        } else {
            AppendBackslashes(out, backslashes);
        }
        out.appendText(p + i, 1);
    }
    out.appendText(L"\"", 1);
    return Str(out.text(), out.length());
}
