// The entry in the Windows list of installed programs whose command starts the uninstaller.
#ifndef LUMIVO_INSTALLER_UNINSTALLREGISTRATION_H
#define LUMIVO_INSTALLER_UNINSTALLREGISTRATION_H

#include "core/Str.h"

#include <windows.h>

#include <stdint.h>

struct InstallHost;

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the program's name.
Str UninstallKeyPath(const Str& programName);

// Creates or opens the key and writes DisplayName, UninstallString, QuietUninstallString (the
// command followed by /S), DisplayIcon, InstallLocation, EstimatedSize (installed bytes in KiB,
// rounded up), NoModify and NoRepair, and the optional Publisher, ProductVersion and
// DisplayVersion (both the version) and URLInfoAbout; an optional value that is empty is removed,
// so that nothing of an earlier installation stays. On failure tells the user (through the host)
// and raises Abort.
void RegisterUninstaller(InstallHost& host, HKEY root, const Str& keyPath, const Str& displayName,
                         const Str& uninstallCommand, const Str& iconPath, const Str& publisher,
                         const Str& version, const Str& installLocation, int64_t installedBytes,
                         const Str& url);

// Whether name is one of the values that RegisterUninstaller writes (without regard to case): the
// only values an installation changes, and so the only ones it may put back.
bool IsUninstallValueName(const Str& name);

// Deletes the values and the key; the Windows result of the last call.
LONG UnregisterUninstaller(HKEY root, const Str& keyPath);

#endif
