// One uninstallation, from the data file named on the command line.
#ifndef LUMIVO_UNINSTALLER_UNINSTALL_H
#define LUMIVO_UNINSTALLER_UNINSTALL_H

#include "core/Array.h"

// The arguments are the data file's path and, optionally, "/S" (quiet: no questions, files that
// would need one are kept) and one of /NOCLOSEAPPLICATIONS (the default of a quiet removal),
// /CLOSEAPPLICATIONS, /FORCECLOSEAPPLICATIONS for the programs that run from the directory. An
// all-users installation is removed by an elevated copy when isAdmin is not set. Returns the exit
// code: 0 when everything was removed, 1 when something was not (or nothing could be done), 2 when
// the user declined.
int RunUninstall(const StrArray& arguments);

#endif
