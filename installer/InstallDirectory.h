// The installation directory, prepared before anything is written into it: the missing folders
// are created from the first missing parent down, and an installation for all users with
// administrator rights accepts only a path that standard users cannot change anywhere. The
// directory is then held open, so that neither it nor a folder above it can be renamed or
// replaced while the installation works in it.
#ifndef LUMIVO_INSTALLER_INSTALLDIRECTORY_H
#define LUMIVO_INSTALLER_INSTALLDIRECTORY_H

#include "core/Array.h"
#include "core/Owned.h"
#include "core/Str.h"
#include "installer/InstallHost.h"

enum class DirectoryOutcome {
    Ready,
    CannotCreate,    // a folder could not be created, or the path is taken by something else
    IsLink,          // a folder of the path is a junction or a symbolic link (for all users)
    OthersCanChange, // standard users can change a folder of the path (for all users)
};

// The directory as prepared: its handle, held without FILE_SHARE_DELETE, and the folders made for
// it.
struct PreparedDirectory {
    Str path;
    OwnedFileHandle handle;
    StrArray created;         // outermost first, dir itself last when it was made
    bool forAllUsers = false; // folders made inside get the protected access list too
    Str culprit;              // the folder that an outcome other than Ready is about
};

// Creates dir and every missing parent, the outermost first, and opens dir as prepared.handle.
// forAllUsers (an all-users installation with administrator rights): the path is walked from its
// drive through handles; every folder on it must be no reparse point and changeable by
// administrators alone (the folders above dir: in what they hold; dir itself: in every way, as
// the host's check tells), every folder it creates gets an access list of its own (the system
// and administrators full control, users read and run, nothing inherited), and the final path
// of the held handle must be dir's. Otherwise any existing entry of that name counts as the
// directory. On failure the folders created so far are removed again and nothing is held.
DirectoryOutcome PrepareDirectory(InstallHost& host, const Str& dir, bool forAllUsers, PreparedDirectory& prepared);

// Lets go of the directory; then the folders made for it go, the deepest first, each only when
// it is empty.
void ReleaseDirectory(PreparedDirectory& prepared);

// The created folders other than dir itself: those made above it, outermost first.
StrArray FoldersAbove(const StrArray& created, const Str& dir);

// The step of the installation for Script.installDir (for all users when isAdmin is set and the
// installation is not per user); on failure the host's status line and alert tell why (naming
// the folder), and Abort is raised with nothing written.
void MakeInstallDirectory(InstallHost& host, PreparedDirectory& prepared);

// Creates a folder inside the prepared directory by its full path, with the protected access list
// for all users; false with the system's error code when it could not be made.
bool CreateFolderIn(const PreparedDirectory& prepared, const Str& path);

#endif
