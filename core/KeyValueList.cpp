#include "core/KeyValueList.h"

#include "core/CharCase.h"

bool KeyValueList::search(const wchar_t* key, int64_t length, const Str* same, int64_t& index) const
{
    const Str* pairs = items.items();
    int64_t lo = 0, hi = items.length() / 2;
    while (lo < hi) {
        int64_t mid = (lo + hi) / 2;
        const Str& candidate = pairs[2 * mid];
        int order = same && candidate.sameBlock(*same)
                        ? 0
                        : StrCompareNoCase(candidate.text(), candidate.length(), key, length);
        if (order == 0) {
            index = 2 * mid;
            return true;
        }
        if (order < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    index = 2 * lo;
    return false;
}

int64_t KeyValueList::find(const wchar_t* key, int64_t length) const
{
    int64_t index;
    return search(key, length, nullptr, index) ? index : -1;
}

int64_t KeyValueList::find(const wchar_t* key) const
{
    return find(key, TextLength(key));
}

int64_t KeyValueList::find(const Str& key) const
{
    int64_t index;
    return search(key.text(), key.length(), &key, index) ? index : -1;
}

Str KeyValueList::valueOf(const wchar_t* key) const
{
    int64_t index = find(key);
    return index < 0 ? Str() : items.at(index + 1);
}

void KeyValueList::set(const Str& key, const Str& value)
{
    int64_t index;
    if (search(key.text(), key.length(), &key, index)) {
        items.ref(index + 1) = value;
        return;
    }
    if (items.isNull())
        items.makeEmpty();
    Str pair[2] = {key, value};
    items.insert(index, pair, 2);
}
