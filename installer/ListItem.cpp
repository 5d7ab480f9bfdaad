#include "installer/ListItem.h"

#include "archive/ListPattern.h"
#include "core/CharCase.h"

static bool Match(const Str& name, const Str& pattern, bool wholeName)
{
    ByteArray scratch;
    scratch.resize(2 * (pattern.length() + 1));
    return MatchListPattern(name.text(), name.length(), pattern.text(), pattern.length(), wholeName, ToUpperChar,
                            scratch.items());
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
    return Match(name, pattern, false);
}

bool MatchWholeName(const Str& name, const Str& pattern)
{
    return Match(name, pattern, true);
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

bool IsContainedRelativePath(const Str& name, unsigned flags)
{
    return CheckRelativeName(name.text(), name.length(), flags) == NameProblem::None;
}
