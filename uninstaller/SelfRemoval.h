// A running program cannot delete its own file, but it can move it. The uninstaller therefore
// moves itself into a fresh private temporary folder, removes the emptied installation directory,
// and leaves a copy of itself there that waits for it to end, deletes the moved original and is
// itself deleted when it ends; the folder goes at the next start of Windows. A caller that waits
// for the uninstaller finds the installation gone when it ends.
#ifndef LUMIVO_UNINSTALLER_SELFREMOVAL_H
#define LUMIVO_UNINSTALLER_SELFREMOVAL_H

#include "core/Array.h"
#include "core/Str.h"

// The switch that starts the copy's part.
extern const wchar_t* const FinishSwitch;

// Moves this program out of installDir, removes installDir and then the folders above it (innermost
// first) when they are empty, and starts the copy that deletes the moved file (when the move
// fails, across volumes, the copy deletes this program where it is and then removes the folders).
// False when the copy could not be started (the caller then removes what it can itself).
bool ContinueFromCopy(const Str& installDir, const StrArray& foldersAbove);

// The copy's part, given the arguments after FinishSwitch: the original's process handle, its
// path, the installation directory, the copy's folder and the folders above the installation
// directory. Returns the exit code.
int FinishFromCopy(const StrArray& arguments);

#endif
