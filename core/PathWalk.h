// Reaching what lies below a directory through handles, one path component at a time, each
// opened relative to its parent's handle without following reparse points: a junction or a
// symbolic link anywhere on the way is refused, never followed, and a name cannot be redirected
// between a check and the change that follows it. The uninstaller removes, and an installation
// undoes, only this way.
#ifndef LUMIVO_CORE_PATHWALK_H
#define LUMIVO_CORE_PATHWALK_H

#include "core/Array.h"
#include "core/Owned.h"
#include "core/Str.h"

#include <windows.h>

enum class WalkStep {
    Opened,
    Missing, // the entry (or a folder on the way to it) does not exist
    Link,    // a reparse point on the way, or the entry itself is one
    Failed,  // anything else: no rights, in use, a file where a folder was expected
};

// Rights to list a folder and pass through it.
const ACCESS_MASK WalkAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Rights to delete or rename an entry through its handle.
const ACCESS_MASK DeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
const ULONG ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens a directory by its full path as the start of a walk; it must be no reparse point.
WalkStep OpenWalkRoot(const Str& dir, OwnedFileHandle& root);

// Opens name (length units) of the directory parent, refusing a reparse point whether the
// parent's listing or the opened handle shows it. options: FILE_DIRECTORY_FILE,
// FILE_NON_DIRECTORY_FILE or 0. When it fails, code (if given) receives the Windows code.
WalkStep OpenChild(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
                   OwnedFileHandle& child, ULONG share = ShareAll, DWORD* code = nullptr);

// Opens name of the directory parent as the entry itself, a link too (never what a link points
// to), shared as share says; the system's status. For renaming or deleting a kept link, and for
// a handle that keeps others from deleting or renaming the entry (a share without
// FILE_SHARE_DELETE).
LONG OpenEntryItself(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
                     ULONG share, OwnedFileHandle& opened);

// Opens root\relative ("\" or "/" between components, a final separator ignored): every
// component but the last as a plain directory, the last with access and options. The empty
// relative name is refused (Failed): the root itself is never a target.
WalkStep OpenBelow(HANDLE root, const Str& relative, ACCESS_MASK access, ULONG options, OwnedFileHandle& target,
                   DWORD* code = nullptr);
WalkStep OpenBelow(const Str& dir, const Str& relative, ACCESS_MASK access, ULONG options,
                   OwnedFileHandle& target);

// Opens the folder that holds root\relative (the root itself for a single component) and gives
// the last component's name.
WalkStep OpenParentBelow(HANDLE root, const Str& relative, OwnedFileHandle& parent, Str& name,
                         DWORD* code = nullptr);

// Creates name in parent (FILE_CREATE: nothing that stands there is opened), a folder with
// options FILE_DIRECTORY_FILE, a file with FILE_NON_DIRECTORY_FILE, with the security descriptor
// when one is given, opened with access and share; the system's status
// (STATUS_OBJECT_NAME_COLLISION when the name is taken).
LONG CreateChild(HANDLE parent, const Str& name, ULONG options, void* securityDescriptor, ACCESS_MASK access,
                 ULONG share, OwnedFileHandle& created);

// Opens the folder that holds the last component of a full path ("C:\..." or "\server\share\..."),
// walked from the path's root, and gives that component's name.
WalkStep OpenFolderOfPath(const Str& path, OwnedFileHandle& folder, Str& name);

// Marks the object for deletion when its handle closes (a folder only when it is empty); a
// read-only file is made writable first. The Windows code of the failure, or 0.
DWORD DeleteThroughHandle(HANDLE handle);

// Renames the open entry (opened with DELETE) to name inside the folder parent, replacing what
// stands there when replace is set (a folder is never replaced). The Windows code, or 0.
DWORD RenameThroughHandle(HANDLE entry, HANDLE parent, const Str& name, bool replace);

// Whether the system finds the open handle at path (a full path, compared without regard to case
// and to trailing backslashes, short names made long): no link or mount point led elsewhere.
bool HandleIsAt(HANDLE handle, const Str& path);

// The Windows code for a status of the system.
DWORD CodeOfStatus(LONG status);

// The names and attributes of the entries of an opened directory.
struct Listing {
    StrArray names;
    Array<DWORD, true, 4> attributes;
};
bool ListDirectory(HANDLE directory, Listing& listing);

#endif
