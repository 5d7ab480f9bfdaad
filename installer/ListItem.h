// The items of the install script's lists: splitting, wildcard matching, and the rule that keeps
// a relative name inside the folder it is joined to. Shared by the installer and the uninstaller.
#ifndef LUMIVO_INSTALLER_LISTITEM_H
#define LUMIVO_INSTALLER_LISTITEM_H

#include "core/Array.h"
#include "core/Str.h"

// The items of a "|"-separated list in order, empty items skipped, nothing trimmed.
StrArray SplitList(const Str& list);

// Whether an item is a pattern (holds a "*").
bool HasWildcard(const Str& item);

// "*" matches any run of characters but never starts across "\", "/" or ":"; the other
// characters compare after upper-case mapping. A pattern that ends before the name matches
// (the pattern Data\* and even Dat match Data\sub\x.txt).
bool MatchPattern(const Str& name, const Str& pattern);

// A name that stays inside the folder it is joined to: not empty, no drive letter, colon or
// leading separator, no "." or ".." component.
bool IsContainedRelativePath(const Str& name);

#endif
