// Removing what an installation left, never outside the installation directory and never
// through a link: junctions and symbolic links inside it are removed, not followed.
#ifndef LUMIVO_UNINSTALLER_REMOVAL_H
#define LUMIVO_UNINSTALLER_REMOVAL_H

#include "core/Array.h"
#include "core/Str.h"

// The paths that could not be removed (in use, no rights), for the closing message.
struct RemovalLog {
    StrArray failed;
};

// The relative names under dir that an item stands for: the item itself when it has no "*",
// else every file (or, with directories set, every directory) under dir that matches it.
// Only existing paths are returned.
StrArray ExpandItem(const Str& dir, const Str& item, bool directories);

// Deletes dir\relative when it is a file (a read-only one too); a missing file is no failure.
void RemoveFileInside(const Str& dir, const Str& relative, RemovalLog& log);
// Removes dir\relative when it is an empty directory; a directory that still holds something
// stays, without a failure.
void RemoveEmptyDirectoryInside(const Str& dir, const Str& relative);
// Removes dir\relative with everything in it.
void RemoveTreeInside(const Str& dir, const Str& relative, RemovalLog& log);
// Deletes a file given by its full path; a missing file is no failure.
void RemoveFile(const Str& path, RemovalLog& log);

#endif
