// The spine of the installer process: the entry, the run-mode decision and the exit code.
#ifndef LUMIVO_INSTALLER_STARTUP_H
#define LUMIVO_INSTALLER_STARTUP_H

#include "core/Array.h"
#include "core/Str.h"

// The application: COM, the administrator test, the install script, then the run mode. Reports
// its own errors; only a missing application context escapes.
void AppMain();

// The run mode for the arguments, with the script loaded and isAdmin set: the main form (normal
// or update mode, per user or for all users) or an elevated copy of the program.
void RunInstaller(const StrArray& arguments);

// The parameters of an elevated copy in update mode: --UPDATE "<directory>\" (a directory that
// ends in a backslash thus ends in two before the closing quote, which the copy's command-line
// splitting reads as one).
Str UpdateParameters(const Str& directory);

#endif
