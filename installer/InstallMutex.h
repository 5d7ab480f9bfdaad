// One installation of a program at a time: a named mutex per program, for an installation for all
// users in a private namespace whose boundary requires the Administrators group (where the system
// has none, as under Wine, in the global namespace), and in the session's for one per user.
#ifndef LUMIVO_INSTALLER_INSTALLMUTEX_H
#define LUMIVO_INSTALLER_INSTALLMUTEX_H

#include "core/Str.h"

// "Global\" or "Local\", "Lumivo Setup " and the program's name in capitals (backslashes, which
// a mutex name may not hold, become slashes).
Str InstallMutexName(const Str& programName, bool allUsers);

// Opens the program's mutex and holds it until ReleaseInstallMutex or the end of the process.
// False when another process holds it already, or anything else is in the way: a mutex or another
// object of that name made first, a namespace that cannot be opened.
bool TakeInstallMutex(const Str& programName, bool allUsers);
void ReleaseInstallMutex();

#endif
