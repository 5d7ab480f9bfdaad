// Path helpers on Str. Only LocalAppDataDir touches the system (LocalAppData.cpp); the rest is
// portable.
#ifndef LUMIVO_CORE_PATH_H
#define LUMIVO_CORE_PATH_H

#include "core/Str.h"

// "/" becomes "\", doubled backslashes and "\.\" steps go, "\..\" steps remove the step before
// them but never the root (a drive, \\server, \\?\ or \\?\UNC\ prefix).
Str NormalizePath(const Str& path);
// The path itself when it ends in "\" or "/", else the path and a backslash.
Str AddTrailingSlash(const Str& path);
// The path up to and including its last "\", "/" or ":"; empty when it has none.
Str DirectoryOf(const Str& path);
// NormalizePath of AddTrailingSlash (path) followed by "..\".
Str ParentDirectory(const Str& path);
// The length of the root of a full path: 3 for "C:\", up to and including the backslash after the
// share for "\\server\share\"; 0 for any other path.
int64_t RootLength(const Str& path);
// The current user's local application-data folder and a backslash; InternalError when the
// shell cannot tell.
Str LocalAppDataDir();

#endif
