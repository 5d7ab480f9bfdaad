// The one routine that changes the machine: directory, uninstall data, uninstaller, files,
// shortcuts, registry entry, closing message; and the full clean-up after any failure.
#ifndef LUMIVO_INSTALLER_INSTALLPROGRAM_H
#define LUMIVO_INSTALLER_INSTALLPROGRAM_H

#include "installer/InstallHost.h"

// Installs from the settings of the install script. Alerts, status lines, progress and the log
// go through host. Raises Abort after a failure it has reported itself (cleaned up in normal
// mode, left as it is in update mode); errors before anything was written pass to the caller.
// Sets the exit code to 0 when it has run to its end.
void InstallProgram(InstallHost& host);

#endif
