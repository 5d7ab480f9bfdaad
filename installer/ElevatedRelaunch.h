// Administrator rights: the shell's test, and a second copy of the program started with them.
#ifndef LUMIVO_INSTALLER_ELEVATEDRELAUNCH_H
#define LUMIVO_INSTALLER_ELEVATEDRELAUNCH_H

class Form;

// The shell's administrator test (shell32 ordinal 680): true when the process runs with
// administrator rights.
bool ShellSaysAdministrator();

enum RelaunchResult { CopyRan, ElevationRefused, CopyNotStarted };

// Starts this program again with administrator rights ("runas" from Windows 6 on) and the given
// parameters (or none), hides the owner form while the copy runs, waits for it and takes its exit
// code as the context's. Reports nothing itself: when the copy cannot be started, the exit code
// stays as it was and the result says why. quiet also keeps the shell from reporting a failure.
RelaunchResult StartElevatedCopy(Form* owner, const wchar_t* parameters, bool quiet);

// StartElevatedCopy, and when the copy cannot be started, tells the user why (an elevation that
// the user refused, or any other failure).
void RelaunchElevated(Form* owner, const wchar_t* parameters);

#endif
