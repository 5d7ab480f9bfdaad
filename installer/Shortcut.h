// Shell links to the installed program in the Start menu and on the desktop.
#ifndef LUMIVO_INSTALLER_SHORTCUT_H
#define LUMIVO_INSTALLER_SHORTCUT_H

#include "core/Str.h"

struct InstallHost;
struct InstallTransaction;

// The shell folders of the links, per user or for all users.
int StartMenuFolder(bool perUser);
int DesktopFolder(bool perUser);

// The link file: the shell folder's path, "\", the link name and ".lnk"; InternalError when the
// folder is not available.
Str ShortcutPath(void* ownerWindow, int csidl, const Str& linkName);

// A link to target (description: the link name, icon: the target's first icon, SW_SHOW);
// InternalError on any failure.
void CreateShortcut(InstallHost& host, int csidl, const Str& linkName, const Str& targetPath);

// CreateShortcut in the Start-menu / desktop folder that the installation's scope selects, as a
// step of the transaction (a link that stood there is kept aside). On failure the link that stood
// there is put back and the user is asked whether to continue without the new one (Abort on
// Cancel).
void AddStartMenuShortcut(InstallHost& host, InstallTransaction& transaction, const Str& linkName,
                          const Str& targetPath);
void AddDesktopShortcut(InstallHost& host, InstallTransaction& transaction, const Str& linkName,
                        const Str& targetPath);

#endif
