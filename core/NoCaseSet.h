// A list of texts without one twice, regardless of case: each text's position is hashed, so a
// text is looked up in one probe instead of a pass over the list.
#ifndef LUMIVO_CORE_NOCASESET_H
#define LUMIVO_CORE_NOCASESET_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

struct NoCaseSet {
    StrArray list;  // the texts, in the order they were added
    PtrArray slots; // position in list + 1, or null; at most half full
};

// An empty set with room for capacity texts (it does not grow beyond them).
NoCaseSet MakeNoCaseSet(int64_t capacity);

// The position in list of the text equal to units (length units) without regard to case, or -1.
int64_t FindNoCase(const NoCaseSet& set, const wchar_t* units, int64_t length);

// The position of a text equal to text that is already there, or -1 after adding text at the end.
int64_t AddNoCase(NoCaseSet& set, const Str& text);

#endif
