#include "core/NoCaseSet.h"

#include "core/CharCase.h"

#include <string.h>

NoCaseSet MakeNoCaseSet(int64_t capacity)
{
    NoCaseSet set;
    set.list.makeEmpty();
    int64_t size = 16;
    while (size < 2 * capacity)
        size *= 2;
    set.slots.makeEmpty();
    set.slots.insertUninitialized(0, size);
    memset(set.slots.items(), 0, static_cast<size_t>(size) * sizeof(void*));
    return set;
}

// The slot that holds the text equal to units, or the empty slot where it would go.
static int64_t SlotOf(const NoCaseSet& set, const wchar_t* units, int64_t length)
{
    void* const* slots = set.slots.items();
    int64_t mask = set.slots.length() - 1;
    int64_t slot = HashNoCase(units, length) & mask;
    for (; slots[slot]; slot = (slot + 1) & mask) {
        const Str& text = set.list.ref(reinterpret_cast<intptr_t>(slots[slot]) - 1);
        if (StrEqualNoCase(text.text(), text.length(), units, length))
            break;
    }
    return slot;
}

int64_t FindNoCase(const NoCaseSet& set, const wchar_t* units, int64_t length)
{
    void* found = set.slots.at(SlotOf(set, units, length));
    return found ? reinterpret_cast<intptr_t>(found) - 1 : -1;
}

int64_t AddNoCase(NoCaseSet& set, const Str& text)
{
    int64_t slot = SlotOf(set, text.text(), text.length());
    void* found = set.slots.at(slot);
    if (found)
        return reinterpret_cast<intptr_t>(found) - 1;
    set.list.append(text);
    set.slots.ref(slot) = reinterpret_cast<void*>(static_cast<intptr_t>(set.list.length()));
    return -1;
}
