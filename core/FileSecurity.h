// Who may change a file or folder. An installer that runs with administrator rights must not
// write into, or act on, anything that a standard user could change or replace.
#ifndef LUMIVO_CORE_FILESECURITY_H
#define LUMIVO_CORE_FILESECURITY_H

#include <windows.h>

// Whether only administrators can change the file or folder behind handle (opened with
// READ_CONTROL): its owner is the system, the Administrators group or TrustedInstaller, and no
// entry of its access list allows anyone else to write it, delete it, add to it or change its
// rights or owner. Whoever can change the all-users program folder itself counts as an
// administrator too (nothing more can be taken from them). False when the rights cannot be read.
bool OnlyAdministratorsCanChange(HANDLE handle);

// Whether the object behind handle is a reparse point (a junction, a mount point, a symbolic
// link) as seen through the handle itself. True when its attributes cannot be read.
bool IsReparsePointHandle(HANDLE handle);

#endif
