// Before an installation or a removal changes anything: the programs that run from its folder or
// hold its files are named, closed as the user or the switches say, and after a complete
// installation started again.
#ifndef LUMIVO_RUNNING_CLOSINGFLOW_H
#define LUMIVO_RUNNING_CLOSINGFLOW_H

#include "core/Array.h"
#include "core/Str.h"
#include "running/RunningPrograms.h"

#include <stdint.h>

// What to do with them: no switch (ask in a window; a silent run leaves them running),
// /NOCLOSEAPPLICATIONS, /CLOSEAPPLICATIONS, /FORCECLOSEAPPLICATIONS (which also ends those that
// do not close).
enum CloseChoice : int32_t { CloseAsk = 0, CloseNever, CloseThem, CloseByForce };

// The choice that one of those switches makes (any case); false for any other argument.
bool ReadCloseSwitch(const Str& argument, CloseChoice& choice);
// The switch of a choice, for an elevated copy's command line; null for CloseAsk.
const wchar_t* CloseSwitchOf(CloseChoice choice);

// How long programs get to close before the installation goes on.
enum : uint32_t { PoliteCloseMs = 10000, ForcedEndMs = 5000 };

struct ClosingHost;
struct ClosingHost {
    // Asks in a window whether to close the programs of the list (one name a line, with why one
    // cannot be closed) and go on; null in a silent run.
    bool (*ask)(ClosingHost& host, const Str& names);
    void (*log)(ClosingHost& host, const Str& line);    // may be null
    void (*status)(ClosingHost& host, const Str& line); // may be null
    void (*whileWaiting)(ClosingHost& host);            // may be null
    void* owner;
    CloseChoice choice;
    uint32_t closeWaitMs; // how long programs get to close (PoliteCloseMs)
    bool administrator;   // other users' programs may be closed
};

// The buttons of the question: "Close them and continue", "Cancel".
const wchar_t* CloseQuestionButtons();

// Finds the programs that run from dir or hold one of files (full paths) and, unless the choice
// is to leave them, asks once in a window whether to close them, closes them politely, waits at
// most closeWaitMs and, with /FORCECLOSEAPPLICATIONS, ends those left. What still runs is left
// for the question about a file in use. Every finding and choice goes into the log. False when
// the user chose Cancel: nothing may be changed then. Nothing is shown or logged when nothing runs.
bool CloseRunningPrograms(ClosingHost& host, const Str& dir, const StrArray& files, RunningPrograms& running);

// After a complete installation: starts again what CloseRunningPrograms closed, and logs it.
void RestartClosedPrograms(ClosingHost& host, RunningPrograms& running);

// The names of the programs found that still run, separated by commas; empty when none.
Str StillRunningNames(const RunningPrograms& running);

#endif
