// One installation of a program at a time: a named mutex per program, in the global namespace
// for an installation for all users and in the session's for one per user.
#ifndef LUMIVO_INSTALLER_INSTALLMUTEX_H
#define LUMIVO_INSTALLER_INSTALLMUTEX_H

#include "core/Str.h"

// "Global\" or "Local\", "Lumivo Setup " and the program's name in capitals (backslashes, which
// a mutex name may not hold, become slashes).
Str InstallMutexName(const Str& programName, bool allUsers);

// Opens the program's mutex and holds it until ReleaseInstallMutex or the end of the process.
// False when another process holds it already (or it exists and this user may not open it).
bool TakeInstallMutex(const Str& programName, bool allUsers);
void ReleaseInstallMutex();

#endif
