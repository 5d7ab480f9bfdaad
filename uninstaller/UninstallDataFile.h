// Reading the uninstall data file. A removal with administrator rights trusts only the file that
// the machine's list of installed programs names and that only administrators can change; what
// is checked and what is read come through one handle, so that the file cannot be swapped between.
#ifndef LUMIVO_UNINSTALLER_UNINSTALLDATAFILE_H
#define LUMIVO_UNINSTALLER_UNINSTALLDATAFILE_H

#include "core/Str.h"
#include "uninstaller/UninstallPlan.h"

struct DataFile {
    UninstallPlan plan;
    // Of the file that was read: no reparse point, and only administrators can change it.
    bool onlyAdministratorsCanChange = false;
};

// Reads and parses the data file; WinError with the path when it cannot be read.
DataFile ReadDataFile(const Str& path);

// The data file that the uninstall entry of programName names (under HKEY_CURRENT_USER for a
// per-user installation, else under HKEY_LOCAL_MACHINE): the second quoted path of its
// UninstallString. Empty when there is no such entry or command.
Str RegisteredDataFile(const Str& programName, bool perUser);

// Why a removal with administrator rights must not trust the data file it read from path, or the
// empty string when it may: the file must be the one registered for its kind of installation (a
// per-user one in the running user's own list), and for all users only administrators may be
// able to change it. The text names the file.
Str DistrustedDataFile(const Str& path, const DataFile& data);

#endif
