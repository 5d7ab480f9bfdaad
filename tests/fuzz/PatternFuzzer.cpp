// Fuzz target over wildcard matching: the copy list's MatchPattern and the uninstaller's
// MatchWholeName must give the answers of their definitions, written here as the plain recursion
// (memoised, so that it ends), on any name and pattern, and a whole-name match is always a match
// of the copy list too.
#include "FuzzText.h"

#include "core/CharCase.h"
#include "installer/ListItem.h"

#include <vector>

namespace {

struct Reference {
    const wchar_t* name;
    int64_t n;
    const wchar_t* pattern;
    int64_t m;
    bool whole;
    std::vector<int8_t> memo; // -1 unknown, else the answer

    static bool Separator(wchar_t unit) { return unit == L'\\' || unit == L'/' || unit == L':'; }

    bool from(int64_t i, int64_t p)
    {
        int8_t& known = memo[static_cast<size_t>(i * (m + 1) + p)];
        if (known < 0)
            known = compute(i, p);
        return known;
    }

    bool compute(int64_t i, int64_t p)
    {
        if (p == m)
            return !whole || i == n; // the copy list's pattern may end before the name
        if (pattern[p] != L'*')
            return i < n && ToUpperChar(pattern[p]) == ToUpperChar(name[i]) && from(i + 1, p + 1);
        if (i < n && Separator(name[i]))
            return from(i, p + 1); // a star matches nothing at a separator
        for (int64_t at = i; at <= n; at++) {
            if (from(at, p + 1))
                return true;
            if (whole && at < n && Separator(name[at]))
                return false; // the uninstaller's star stays within its folder level
        }
        return false;
    }
};

bool Matches(const Str& name, const Str& pattern, bool whole)
{
    Reference reference{name.text(), name.length(), pattern.text(), pattern.length(), whole, {}};
    reference.memo.assign(static_cast<size_t>((name.length() + 1) * (pattern.length() + 1)), -1);
    return reference.from(0, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // name, a zero unit, pattern
    Str units = UnitsOf(data, size);
    int64_t split = 0;
    while (split < units.length() && units.text()[split] != 0)
        split++;
    Str name(units.text(), split);
    Str pattern = split < units.length() ? Str(units.text() + split + 1, units.length() - split - 1) : Str();
    try {
        bool prefix = MatchPattern(name, pattern), whole = MatchWholeName(name, pattern);
        FUZZ_CHECK(prefix == Matches(name, pattern, false));
        FUZZ_CHECK(whole == Matches(name, pattern, true));
        FUZZ_CHECK(!whole || prefix);
    } catch (const Error&) {
    }
    return 0;
}
