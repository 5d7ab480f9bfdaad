// What can be read about another process: its image, its start, its owner, its command line.
#ifndef LUMIVO_RUNNING_PROCESSDETAILS_H
#define LUMIVO_RUNNING_PROCESSDETAILS_H

#include "core/Str.h"

#include <windows.h>

#include <stdint.h>

// The full path of its program file; empty when it cannot be read.
Str ProcessImagePath(HANDLE process);
// When it started (FILETIME units); 0 when it cannot be read.
uint64_t ProcessStartTime(HANDLE process);
// Whether it runs as the same user as this process. Its token, opened so that a program can be
// started with it, goes into token when it can be had (the caller closes it).
bool RunsAsThisUser(HANDLE process, HANDLE& token);
// Whether the token is elevated (runs with administrator rights).
bool TokenElevated(HANDLE token);
// Its command line and current directory, read from its memory; false when they cannot be read.
bool ReadProcessStart(uint32_t processId, Str& commandLine, Str& currentDirectory);

#endif
