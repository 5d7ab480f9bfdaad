#include "installer/ListItem.h"

#include "core/CharCase.h"

namespace {

bool IsSeparator(wchar_t unit)
{
    return unit == L'\\' || unit == L'/' || unit == L':';
}

// The pattern as a set of positions run over the name one unit at a time (no backtracking).
// Position p < m means "the pattern before p has matched the name read so far"; a star position
// has two states: not started, or consuming. states holds 2 * (m + 1) flags per step.
struct PatternRun {
    const wchar_t* pattern;
    int64_t m;
    uint8_t* now;
    uint8_t* next;
};

enum : uint8_t { AtPosition = 1, InsideStar = 2 };

// Adds the position and every position that a star lets it skip to.
void Reach(PatternRun& run, uint8_t* states, int64_t p)
{
    while (p <= run.m && !(states[p] & AtPosition)) {
        states[p] |= AtPosition;
        if (p == run.m || run.pattern[p] != L'*')
            return;
        p++;
    }
}

bool Match(const Str& name, const Str& pattern, bool wholeName)
{
    PatternRun run = {pattern.text(), pattern.length(), nullptr, nullptr};
    ByteArray storage;
    storage.resize(2 * (run.m + 1));
    run.now = storage.items();
    run.next = run.now + run.m + 1;
    for (int64_t p = 0; p <= run.m; p++)
        run.now[p] = 0;
    Reach(run, run.now, 0);
    const wchar_t* units = name.text();
    for (int64_t n = 0; n < name.length(); n++) {
        if (!wholeName && (run.now[run.m] & AtPosition))
            return true; // the pattern ended before the name
        for (int64_t p = 0; p <= run.m; p++)
            run.next[p] = 0;
        wchar_t unit = units[n];
        int32_t upper = ToUpperChar(unit);
        bool live = false;
        for (int64_t p = 0; p < run.m; p++) {
            uint8_t state = run.now[p];
            if (!state)
                continue;
            if (run.pattern[p] != L'*') {
                if (ToUpperChar(run.pattern[p]) == upper) {
                    Reach(run, run.next, p + 1);
                    live = true;
                }
                continue;
            }
            // A star starts only at an ordinary unit; once started, the copy list's star runs on
            // over separators while the uninstaller's stays within its folder level.
            bool consumes = !IsSeparator(unit) || ((state & InsideStar) && !wholeName);
            if (consumes) {
                run.next[p] |= InsideStar;
                Reach(run, run.next, p + 1);
                live = true;
            }
        }
        if (!live)
            return false;
        uint8_t* swap = run.now;
        run.now = run.next;
        run.next = swap;
    }
    return (run.now[run.m] & AtPosition) != 0;
}

} // namespace

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
