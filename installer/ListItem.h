// The items of the install script's lists: splitting, wildcard matching, and the rule that keeps
// a relative name inside the folder it is joined to. Shared by the installer and the uninstaller.
#ifndef LUMIVO_INSTALLER_LISTITEM_H
#define LUMIVO_INSTALLER_LISTITEM_H

#include "archive/RelativeName.h"
#include "core/Array.h"
#include "core/Str.h"

// The items of a "|"-separated list in order, empty items skipped, nothing trimmed.
StrArray SplitList(const Str& list);

// Whether an item is a pattern (holds a "*").
bool HasWildcard(const Str& item);

// The copy list's matching: "*" matches any run of characters but never starts across "\", "/"
// or ":"; the other characters compare after upper-case mapping. A pattern that ends before the
// name matches (the pattern Data\* and even Dat match Data\sub\x.txt). Stored scripts rely on
// this. Time grows with the product of the two lengths, never exponentially.
bool MatchPattern(const Str& name, const Str& pattern);

// The uninstaller's matching: the pattern must match the whole name, and "*" matches within one
// folder level only (*.ini matches a.ini, not a.ini.bak and not sub\a.ini).
bool MatchWholeName(const Str& name, const Str& pattern);

// A name that stays inside the folder it is joined to and names an ordinary file there
// (archive/RelativeName.h: no drive, colon or leading separator, no "." or ".." component, no
// device name, no component ending in a dot or space, no control character). flags may allow a
// final separator (NameMayEndInSeparator) and "*" (NameMayHoldWildcards).
bool IsContainedRelativePath(const Str& name, unsigned flags = 0);

#endif
