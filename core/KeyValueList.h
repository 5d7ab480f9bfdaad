// Key and value pairs in one StrArray (key 0, value 0, key 1, value 1, ...), sorted by key
// without regard to case; keys are unique under that comparison.
#ifndef LUMIVO_CORE_KEYVALUELIST_H
#define LUMIVO_CORE_KEYVALUELIST_H

#include "core/Array.h"
#include "core/Str.h"

class KeyValueList {
public:
    // Index of the key element, or -1.
    int64_t find(const wchar_t* key) const;
    int64_t find(const Str& key) const;
    int64_t find(const wchar_t* key, int64_t length) const;
    // The value of a key; the empty string when the key is absent.
    Str valueOf(const wchar_t* key) const;
    // Replaces the value of an existing key (keeping the key's spelling) or inserts the pair at
    // its sorted place.
    void set(const Str& key, const Str& value);

    int64_t pairCount() const { return items.length() / 2; }
    void clear() { items.release(); }

    StrArray items;

private:
    // Binary search: true with the key's element index, or false with the insertion index.
    // A key given as a Str that shares the stored block matches without a comparison.
    bool search(const wchar_t* key, int64_t length, const Str* same, int64_t& index) const;
};

#endif
