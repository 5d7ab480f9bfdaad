// The log that "/LOG=<file>" asks for: one UTF-8 line per step, each written to the file at once,
// so that whatever happens to the process the file holds every step up to it.
#ifndef LUMIVO_INSTALLER_INSTALLLOG_H
#define LUMIVO_INSTALLER_INSTALLLOG_H

#include "core/Str.h"

struct InstallHost;

// Opens the log file, creating it when it is missing; lines are appended to what it holds, so
// that an elevated copy and the process that started it write into one file. WinError naming
// the file when it cannot be opened.
void OpenInstallLog(const Str& path);
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
