// The installation directory, prepared before anything is written into it: the missing folders
// are created from the first missing parent down, and an installation for all users with
// administrator rights accepts only a directory that standard users cannot change.
#ifndef LUMIVO_INSTALLER_INSTALLDIRECTORY_H
#define LUMIVO_INSTALLER_INSTALLDIRECTORY_H

#include "core/Array.h"
#include "core/Str.h"
#include "installer/InstallHost.h"

enum class DirectoryOutcome {
    Ready,
    CannotCreate,    // a folder could not be created, or the path is taken by something else
    IsLink,          // the directory is a junction or a symbolic link (for all users)
    OthersCanChange, // standard users can change the directory (for all users)
};

// Creates dir and every missing parent, the outermost first, and appends each folder it created
// to created. forAllUsers (an all-users installation with administrator rights): the folders it
// creates outside the all-users program folder get an access list of their own (the system and
// administrators full control, users read and run, nothing inherited), and an existing directory
// is accepted only when it is no reparse point and only administrators can change it. Otherwise
// any existing entry of that name counts as the directory. On failure the folders created so far
// are removed again and created is left as it was.
DirectoryOutcome PrepareDirectory(const Str& dir, bool forAllUsers, StrArray& created);

// Removes the folders that PrepareDirectory created, the deepest first, each only when it is
// empty.
void RemoveCreatedFolders(const StrArray& created);
// The created folders other than dir itself: those made above it, outermost first.
StrArray FoldersAbove(const StrArray& created, const Str& dir);

// The step of the installation for Script.installDir (for all users when isAdmin is set and the
// installation is not per user): the folders it created, outermost first; on failure the host's
// status line and alert tell why, and Abort is raised with nothing written.
StrArray MakeInstallDirectory(InstallHost& host);

#endif
