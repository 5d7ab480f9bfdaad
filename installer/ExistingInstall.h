// Whether the program is registered in the Windows list of installed programs already.
#ifndef LUMIVO_INSTALLER_EXISTINGINSTALL_H
#define LUMIVO_INSTALLER_EXISTINGINSTALL_H

#include "core/Str.h"

struct ExistingInstall {
    bool currentUser; // the uninstall key exists under HKEY_CURRENT_USER
    bool allUsers;    // and under HKEY_LOCAL_MACHINE
};

// A key that exists counts as present, and so does one that cannot be opened for any reason but
// its absence (access denied, say): the check never fails.
ExistingInstall FindExistingInstall(const Str& programName);

#endif
