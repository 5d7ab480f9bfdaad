// The lists an installation works from: the copy list expanded against the archive's
// entry names, and the directories its files need.
#ifndef LUMIVO_INSTALLER_FILELIST_H
#define LUMIVO_INSTALLER_FILELIST_H

#include "core/Array.h"
#include "core/Str.h"

// The relative names to install: plain items as written, items with "*" replaced by the archive
// entries they match (archive order) except install.script and the two uninstallers; no name
// twice (without regard to case).
StrArray ExpandFileList(const Str& copyList);

// Every directory the files need, relative, each ending in "\", shortest first; entries of equal
// length keep their order of first appearance.
StrArray NeededDirectories(const StrArray& files);

#endif
