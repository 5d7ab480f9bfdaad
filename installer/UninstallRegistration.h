// The entry in the Windows list of installed programs whose command starts the uninstaller.
#ifndef LUMIVO_INSTALLER_UNINSTALLREGISTRATION_H
#define LUMIVO_INSTALLER_UNINSTALLREGISTRATION_H

#include "core/Str.h"

#include <windows.h>

struct InstallHost;

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the program's name.
Str UninstallKeyPath(const Str& programName);

// Creates or opens the key and writes DisplayName, UninstallString, DisplayIcon and, when not
// empty, Publisher and ProductVersion. On failure tells the user (through the host) and
// raises Abort.
void RegisterUninstaller(InstallHost& host, HKEY root, const Str& keyPath, const Str& displayName,
                         const Str& uninstallCommand, const Str& iconPath, const Str& publisher,
                         const Str& version);

// Deletes the values and the key; the Windows result of the last call.
LONG UnregisterUninstaller(HKEY root, const Str& keyPath);

#endif
