// The one routine that changes the machine: directory, uninstall data, uninstaller, files,
// shortcuts, registry entry, closing message; and the full clean-up after any failure.
#ifndef LUMIVO_INSTALLER_INSTALLPROGRAM_H
#define LUMIVO_INSTALLER_INSTALLPROGRAM_H

#include "core/Str.h"

class Form;

// Shows the two status lines of the installation's window and repaints it before returning.
typedef void (*StatusSetter)(Form& form, const Str& line1, const Str& line2);

// Installs from the settings of the install script. Every alert is owned by form; progress goes
// through setStatus. Raises Abort after a failure it has reported itself (cleaned up in normal
// mode, left as it is in update mode); errors before anything was written pass to the caller.
// Sets the exit code to 0 when it has run to its end.
void InstallProgram(Form& form, StatusSetter setStatus);

#endif
