// The log that "/LOG=<file>" asks for: one UTF-8 line per step, each written to the file at once,
// so that whatever happens to the process the file holds every step up to it.
#ifndef LUMIVO_INSTALLER_INSTALLLOG_H
#define LUMIVO_INSTALLER_INSTALLLOG_H

#include "core/Str.h"

#include <stdint.h>

struct InstallHost;

// Opens the log file (a full path), creating it when it is missing; lines are appended to what it
// holds. The path is walked from its drive through handles: false, with nothing opened or
// created, when a link stands anywhere on it or the file has several names (hard links), so that
// no one can aim the log of an elevated run at another file. WinError naming the file when it
// cannot be opened.
bool OpenInstallLog(const Str& path);

// The open log's handle as a number, for an elevated copy of this program started by this one
// (which waits for it, keeping the handle valid); 0 without a log.
uint64_t InstallLogHandle();
// Takes over the log that process processId (the one that started this one) holds open as the
// handle number: the copy writes into the file its starter opened with the user's own rights,
// never opening a name itself. WinError when the handle cannot be had or is no ordinary file of one
// name.
void AdoptInstallLog(uint64_t handle, uint32_t processId);
// The process that started this one.
uint32_t ParentProcessId();
// Whether a log is open.
bool InstallLogOpen();
// One line, the local date and time in front, CR LF behind; line breaks in it become spaces.
// Nothing happens without an open log; a failed write is dropped (a log never stops an
// installation).
void WriteInstallLog(const Str& line);
void CloseInstallLog();

// The log writer of an InstallHost: the installation's steps go into the open log.
void LogToInstallLog(InstallHost& host, const Str& line);

#endif
