// Undoing what an installation journal records, or finishing what it made final: for a run that
// failed or was cancelled, and for the leftovers of one that was killed.
#ifndef LUMIVO_INSTALLER_TRANSACTION_ROLLBACK_H
#define LUMIVO_INSTALLER_TRANSACTION_ROLLBACK_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

struct InstallHost;

// Whose journal it is. Only paths inside installDir, the program's own links and its own
// uninstall key are ever touched; records that name anything else are skipped.
struct JournalOwner {
    Str installDir;
    Str programName;
    Str backupDir;
};

// The first thing that could not be undone: the code of the call that failed and the path (or
// key) it was about; code 0 while everything was.
struct UndoFailure {
    uint32_t code = 0;
    Str path;
};

// Whether the journal's lines begin with the marker, this program's name and this directory.
bool JournalBelongsTo(const StrArray& lines, const JournalOwner& owner);

// Undoes the changes, last first: kept files go back over the new ones, new files are deleted,
// temporary files too, the uninstall key gets its saved values back. When everything is back,
// the journal and the backup folder are deleted; then the directories that the run created are
// removed, deepest first, when they ended empty. False when something could not be put back
// (the first such thing in failure).
bool UndoJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure);

// Finishes a journal that was made final: deletes the kept files, then the journal and the
// backup folder. False when something could not be deleted (the first such thing in failure).
bool FinishJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure);

// Before an installation into installDir: when an interrupted run of the same program left its
// backup folder there, puts the previous installation back (or removes the partial new one, or
// finishes one that had been made final). A backup folder that is not this program's raises
// ERROR_ALREADY_EXISTS naming it, and nothing is touched; what cannot be undone now raises the
// failed call's code with the path it was about (the journal stays for the next run).
void RecoverInterruptedInstall(InstallHost& host, const Str& installDir, const Str& programName);

#endif
