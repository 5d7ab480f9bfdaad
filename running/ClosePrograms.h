// Closing running programs politely, ending them by force, and starting them again.
#ifndef LUMIVO_RUNNING_CLOSEPROGRAMS_H
#define LUMIVO_RUNNING_CLOSEPROGRAMS_H

#include "core/Array.h"
#include "running/RunningPrograms.h"

#include <stdint.h>

// Called now and then while a wait lasts (a window keeps answering).
struct Waiting {
    void (*call)(void* context);
    void* context;
};

// Asks every program that may be closed to close: those that the Restart Manager listed through
// RmShutdown without force (on a thread of its own), the others (and those, when it fails) with
// WM_CLOSE to their visible top-level windows. Returns when all have ended or after timeoutMs.
void AskProgramsToClose(RunningPrograms& running, uint32_t timeoutMs, const Waiting& waiting);

// Ends the programs that may be closed and still run (TerminateProcess), and waits for them at
// most timeoutMs.
void EndProgramsByForce(RunningPrograms& running, uint32_t timeoutMs, const Waiting& waiting);

// Starts again the programs that were closed and have ended: RmRestart those that the Restart
// Manager shut down and that registered for it, the others with their command line in their
// folder and with their own rights (never with administrator rights they did not have). Each of
// those others is told to report, with whether it started.
struct RestartReport {
    void (*call)(void* context, const RunningProgram& program, bool started);
    void* context;
};
void StartClosedProgramsAgain(RunningPrograms& running, const RestartReport& report);

#endif
