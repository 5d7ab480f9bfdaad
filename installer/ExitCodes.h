// The installer's exit codes. An interactive run ends with 0, 1 or 3; a silent one (/S) tells a
// deployment tool more, with the codes that Windows Installer uses for the same outcomes.
#ifndef LUMIVO_INSTALLER_EXITCODES_H
#define LUMIVO_INSTALLER_EXITCODES_H

#include <stdint.h>

enum : int32_t {
    ExitInstalled = 0,
    ExitNotInstalled = 1,        // interactive: closed, cancelled or failed
    ExitStartFailed = 3,         // the installer itself could not start
    ExitBadSwitches = 87,        // ERROR_INVALID_PARAMETER
    ExitElevationRefused = 1602, // ERROR_INSTALL_USEREXIT
    ExitInstallFailed = 1603,    // ERROR_INSTALL_FAILURE: nothing of it is left
    ExitAnotherInstall = 1618,   // ERROR_INSTALL_ALREADY_RUNNING
};

#endif
