#include "archive/ListPattern.h"

namespace {

bool IsSeparator(uint32_t unit)
{
    return unit == '\\' || unit == '/' || unit == ':';
}

// Position p < m means "the pattern before p has matched the name read so far"; a star position
// has two states: not started, or consuming.
enum : uint8_t { AtPosition = 1, InsideStar = 2 };

template <class Unit> struct PatternRun {
    const Unit* pattern;
    int64_t m;
};

// Adds the position and every position that a star lets it skip to.
template <class Unit> void Reach(const PatternRun<Unit>& run, uint8_t* states, int64_t p)
{
    while (p <= run.m && !(states[p] & AtPosition)) {
        states[p] |= AtPosition;
        if (p == run.m || run.pattern[p] != '*')
            return;
        p++;
    }
}

template <class Unit>
bool Match(const Unit* name, int64_t nameLength, const Unit* pattern, int64_t patternLength, bool wholeName,
           UpperCaseMapping upper, uint8_t* scratch)
{
    PatternRun<Unit> run = {pattern, patternLength};
    uint8_t* now = scratch;
    uint8_t* next = scratch + run.m + 1;
    for (int64_t p = 0; p <= run.m; p++)
        now[p] = 0;
    Reach(run, now, 0);
    for (int64_t n = 0; n < nameLength; n++) {
        if (!wholeName && (now[run.m] & AtPosition))
            return true; // the pattern ended before the name
        for (int64_t p = 0; p <= run.m; p++)
            next[p] = 0;
        uint32_t unit = static_cast<uint16_t>(name[n]);
        int32_t unitUpper = upper(static_cast<int32_t>(unit));
        bool live = false;
        for (int64_t p = 0; p < run.m; p++) {
            uint8_t state = now[p];
            if (!state)
                continue;
            if (run.pattern[p] != '*') {
                if (upper(static_cast<uint16_t>(run.pattern[p])) == unitUpper) {
                    Reach(run, next, p + 1);
                    live = true;
                }
                continue;
            }
            // A star starts only at an ordinary unit; once started, the copy list's star runs on
            // over separators while the uninstaller's stays within its folder level.
            bool consumes = !IsSeparator(unit) || ((state & InsideStar) && !wholeName);
            if (consumes) {
                next[p] |= InsideStar;
                Reach(run, next, p + 1);
                live = true;
            }
        }
        if (!live)
            return false;
        uint8_t* swap = now;
        now = next;
        next = swap;
    }
    return (now[run.m] & AtPosition) != 0;
}

} // namespace

bool MatchListPattern(const char16_t* name, int64_t nameLength, const char16_t* pattern, int64_t patternLength,
                      bool wholeName, UpperCaseMapping upper, uint8_t* scratch)
{
    return Match(name, nameLength, pattern, patternLength, wholeName, upper, scratch);
}

bool MatchListPattern(const wchar_t* name, int64_t nameLength, const wchar_t* pattern, int64_t patternLength,
                      bool wholeName, UpperCaseMapping upper, uint8_t* scratch)
{
    return Match(name, nameLength, pattern, patternLength, wholeName, upper, scratch);
}
