// Removing what an installation left, never outside the installation directory and never
// through a link. Every path is walked from the installation directory one component at a time,
// each opened relative to its parent's handle without following reparse points; a junction or a
// symbolic link anywhere on the way is refused (and reported), never followed, and what is
// deleted is deleted through its own handle.
#ifndef LUMIVO_UNINSTALLER_REMOVAL_H
#define LUMIVO_UNINSTALLER_REMOVAL_H

#include "core/Array.h"
#include "core/Str.h"

// The paths that could not be removed (in use, no rights, a link in the way), for the closing
// message.
struct RemovalLog {
    StrArray failed;
};

// The relative names under dir that an item stands for: the item itself when it has no "*",
// else every file (or, with directories set, every directory) under dir whose whole relative
// name matches it (MatchWholeName: a star stays within one folder level). Only existing paths
// are returned; nothing behind a link is listed.
StrArray ExpandItem(const Str& dir, const Str& item, bool directories);

// Deletes dir\relative when it is a file (a read-only one too); a missing file is no failure.
void RemoveFileInside(const Str& dir, const Str& relative, RemovalLog& log);
// Removes dir\relative when it is an empty directory; a directory that still holds something
// stays, without a failure.
void RemoveEmptyDirectoryInside(const Str& dir, const Str& relative);
// Removes dir\relative with everything in it; links inside are left and reported.
void RemoveTreeInside(const Str& dir, const Str& relative, RemovalLog& log);
// Deletes a file given by its full path (a link in a shell folder); a missing file is no failure.
void RemoveFile(const Str& path, RemovalLog& log);

#endif
