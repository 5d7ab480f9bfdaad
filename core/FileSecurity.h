// Who may change a file or folder. An installer that runs with administrator rights must not
// write into, or act on, anything that a standard user could change or replace.
#ifndef LUMIVO_CORE_FILESECURITY_H
#define LUMIVO_CORE_FILESECURITY_H

#include <windows.h>

// What "changing" an object means for the question who may do it.
enum class ChangeScope : int {
    Whole,       // writing it or adding to it, deleting or renaming it, its attributes, rights or owner
    Entries,     // a folder above another: deleting or renaming it or what lies in it, its rights or owner
    RootEntries, // the same for a drive's root, which cannot itself be deleted or renamed
};

// Whether only administrators can change the file or folder behind handle (opened with
// READ_CONTROL) in the scope's sense: its owner is the system, the Administrators group,
// TrustedInstaller or, in an elevated process, the user it runs as, and no entry of its access
// list allows anyone else such a change. Whoever can change the all-users program folder itself
// counts as an administrator too (nothing more can be taken from them). False when the rights
// cannot be read.
bool OnlyAdministratorsCanChange(HANDLE handle, ChangeScope scope = ChangeScope::Whole);

// Whether the object behind handle is a reparse point (a junction, a mount point, a symbolic
// link) as seen through the handle itself. True when its attributes cannot be read.
bool IsReparsePointHandle(HANDLE handle);

#endif
