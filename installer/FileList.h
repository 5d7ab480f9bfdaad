// The lists an installation works from: the copy specification expanded against the archive's
// entry names, and the directories its files need.
#ifndef LUMIVO_INSTALLER_FILELIST_H
#define LUMIVO_INSTALLER_FILELIST_H

#include "core/Array.h"
#include "core/Str.h"

// "*" matches any run of characters but never starts across "\", "/" or ":"; the other
// characters compare after upper-case mapping. A pattern that ends before the name matches
// (the pattern Data\* and even Dat match Data\sub\x.txt).
bool MatchPattern(const Str& name, const Str& pattern);

// The items of a "|"-separated list in order, empty items skipped, nothing trimmed.
StrArray SplitList(const Str& list);

// The relative names to install: plain items as written, items with "*" replaced by the archive
// entries they match (archive order); no name twice (without regard to case).
StrArray ExpandFileList(const Str& specification);

// Every directory the files need, relative, each ending in "\", shortest first; entries of equal
// length keep their order of first appearance.
StrArray NeededDirectories(const StrArray& files);

// A name that stays inside the folder it is joined to: not empty, no drive letter or leading
// separator, no ".." component.
bool IsContainedRelativePath(const Str& name);

#endif
