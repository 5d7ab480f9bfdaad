// The installation's side of closing running programs: its window asks, its log records, its
// status line shows the wait, and the question about a file in use names what still runs.
#ifndef LUMIVO_INSTALLER_PROGRAMSINUSE_H
#define LUMIVO_INSTALLER_PROGRAMSINUSE_H

#include "core/Array.h"
#include "running/ClosingFlow.h"

struct InstallHost;

// This run's switch (/NOCLOSEAPPLICATIONS, /CLOSEAPPLICATIONS, /FORCECLOSEAPPLICATIONS), set at
// start-up.
extern CloseChoice CloseApplications;

// Before the first change: closes what runs from the installation directory or holds one of the
// paths, as CloseRunningPrograms does, with the host's window, log and status line; what it found
// stays in host.running. Raises Abort when the user cancelled.
void CloseProgramsInUse(InstallHost& host, const StrArray& paths);

// After a complete installation: starts again what was closed.
void RestartProgramsClosed(InstallHost& host);

// For the question about a file in use: the line that names the programs found that still run,
// or an empty text.
Str StillRunningLine(const InstallHost& host);

#endif
