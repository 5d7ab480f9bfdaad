// The spine of the installer process: the entry, the run-mode decision and the exit code.
#ifndef LUMIVO_INSTALLER_STARTUP_H
#define LUMIVO_INSTALLER_STARTUP_H

#include "installer/InstallerSwitches.h"

// The application: COM, the switches, the administrator test, the install script, then the run
// mode. Reports its own errors (a silent run only through the exit code and the log); only a
// missing application context escapes.
void AppMain();

// The run mode for the switches, with the script loaded and isAdmin set: help, a refusal of bad
// switches, an elevated copy of the program, the main form (normal or update mode, per user or
// for all users) or, with /S, the installation without any window. Sets the exit code.
void RunInstaller(const InstallerSwitches& switches);

#endif
