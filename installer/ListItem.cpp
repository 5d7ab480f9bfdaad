#include "installer/ListItem.h"

#include "core/CharCase.h"

static bool MatchFrom(const wchar_t* name, int64_t nameLength, int64_t n, const wchar_t* pattern,
                      int64_t patternLength, int64_t p)
{
    for (;;) {
        if (p == patternLength)
            return true;
        if (pattern[p] != L'*') {
            if (n == nameLength || ToUpperChar(pattern[p]) != ToUpperChar(name[n]))
                return false;
            p++;
            n++;
            continue;
        }
        if (n < nameLength && (name[n] == L'\\' || name[n] == L'/' || name[n] == L':')) {
            p++; // a star matches nothing at a separator
            continue;
        }
        for (int64_t at = n; at <= nameLength; at++)
            if (MatchFrom(name, nameLength, at, pattern, patternLength, p + 1))
                return true;
        return false;
    }
}

bool HasWildcard(const Str& item)
{
    for (int64_t i = 0; i < item.length(); i++)
        if (item.text()[i] == L'*')
            return true;
    return false;
}

bool MatchPattern(const Str& name, const Str& pattern)
{
    return MatchFrom(name.text(), name.length(), 0, pattern.text(), pattern.length(), 0);
}

StrArray SplitList(const Str& list)
{
    StrArray items;
    items.makeEmpty();
    const wchar_t* text = list.text();
    int64_t length = list.length(), start = 0;
    for (int64_t i = 0; i <= length; i++) {
        if (i == length || text[i] == L'|') {
            if (i > start)
                items.append(Str(text + start, i - start));
            start = i + 1;
        }
    }
    return items;
}

bool IsContainedRelativePath(const Str& name)
{
    const wchar_t* text = name.text();
    int64_t length = name.length();
    if (length == 0 || text[0] == L'\\' || text[0] == L'/')
        return false;
    for (int64_t i = 0; i < length; i++)
        if (text[i] == L':')
            return false; // a drive letter, or an alternate data stream
    int64_t start = 0;
    for (int64_t i = 0; i <= length; i++) {
        if (i == length || text[i] == L'\\' || text[i] == L'/') {
            int64_t part = i - start;
            if ((part == 1 && text[start] == L'.') || (part == 2 && text[start] == L'.' && text[start + 1] == L'.'))
                return false;
            start = i + 1;
        }
    }
    return true;
}
