// The one routine that changes the machine: directory, uninstaller, files, shortcuts, registry
// entry, uninstall data, closing message; as one transaction that any failure undoes.
#ifndef LUMIVO_INSTALLER_INSTALLPROGRAM_H
#define LUMIVO_INSTALLER_INSTALLPROGRAM_H

#include "installer/InstallHost.h"

// Installs from the settings of the install script. Alerts, status lines, progress and the log
// go through host. Before anything is written it closes the programs that run from the directory
// or hold its files, as the user or the switches say (CloseProgramsInUse), and once the
// installation is complete it starts them again. First undoes what an interrupted run of the
// program left in the directory.
// Raises Abort after a failure it has reported itself, with everything put back as it was (in
// update mode without a closing message); errors before anything was written (leftovers that
// cannot be undone among them) pass to the caller. Sets the exit code to 0 once the installation
// is complete.
void InstallProgram(InstallHost& host);

#endif
