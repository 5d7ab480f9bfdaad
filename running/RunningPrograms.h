// The programs that run from an installation folder or hold its files, found before the first
// change so that they can be closed first and started again afterwards.
#ifndef LUMIVO_RUNNING_RUNNINGPROGRAMS_H
#define LUMIVO_RUNNING_RUNNINGPROGRAMS_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

// Whether a program found running may be closed.
enum KeepReason : int32_t {
    MayClose = 0,
    OtherUser,     // another user's (or its owner cannot be read) while this process is no administrator
    PartOfWindows, // a process that the Restart Manager calls critical
    ThisProgram,   // this process or another copy of this program (its elevated copy, or the copy that
                   // started it): never shown, never closed
};

enum ClosedBy : int32_t { NotClosed = 0, ClosedByRestartManager, ClosedByMessage, EndedByForce };

struct RunningProgram {
    uint32_t processId;
    uint64_t startTime; // with the id, tells the process from a later one that gets the same id
    Str name;           // as the user knows it: the Restart Manager's name, else the image's file name
    Str imagePath;      // empty when it cannot be read
    Str commandLine;    // empty when it cannot be read: the program is then not started again
    Str currentDirectory;
    void* process; // a handle with SYNCHRONIZE (and PROCESS_TERMINATE where allowed), or null
    void* token;   // its token, to start it again with its own rights, or null
    KeepReason keep;
    bool listedByRestartManager;
    bool restartsItself; // registered with Windows for a restart: RmRestart starts it again
    ClosedBy closedBy;   // how it was asked to end (it may not have)
};

// Owns the handles of its programs and the Restart Manager session they were found in.
struct RunningPrograms {
    RunningPrograms() = default;
    RunningPrograms(const RunningPrograms&) = delete;
    RunningPrograms& operator=(const RunningPrograms&) = delete;
    ~RunningPrograms();

    Array<RunningProgram, false, 4> programs;
    uint32_t session = 0;
    bool sessionOpen = false;
    bool restartManagerShutDown = false; // RmShutdown ran: RmRestart may follow
};

// Finds, once, the programs whose image lies in dir or below it, and those that the Restart
// Manager says hold one of files (full paths; those that exist are registered). Nothing when dir
// does not exist. Programs of other users may be closed only with administrator rights.
void FindRunningPrograms(const Str& dir, const StrArray& files, bool administrator, RunningPrograms& found);

// Whether the process has not ended (true when it cannot be watched).
bool IsRunning(const RunningProgram& program);

// Whether a program is one the user should hear of: not this program, and still running.
bool Shown(const RunningProgram& program);

#endif
