// A running program cannot delete its own file. The uninstaller therefore continues from a copy
// of itself in a fresh temporary folder: the copy waits for the original to end, deletes it and
// the emptied installation directory, and is itself deleted when it ends.
#ifndef LUMIVO_UNINSTALLER_SELFREMOVAL_H
#define LUMIVO_UNINSTALLER_SELFREMOVAL_H

#include "core/Array.h"
#include "core/Str.h"

// The switch that starts the copy's part.
extern const wchar_t* const FinishSwitch;

// Starts the copy, which removes this program's file and then installDir and the folders above
// it (innermost first) that are empty. False when the copy could not be started (the caller then
// removes what it can itself).
bool ContinueFromCopy(const Str& installDir, const StrArray& foldersAbove);

// The copy's part, given the arguments after FinishSwitch: the original's process handle, its
// path, the installation directory, the copy's folder and the folders above the installation
// directory. Returns the exit code.
int FinishFromCopy(const StrArray& arguments);

#endif
