// Undoing what an installation journal records, or finishing what it made final: for a run that
// failed or was cancelled, and for the leftovers of one that was killed.
#ifndef LUMIVO_INSTALLER_ROLLBACK_H
#define LUMIVO_INSTALLER_ROLLBACK_H

#include "core/Array.h"
#include "core/Str.h"

struct InstallHost;

// Whose journal it is. Only paths inside installDir, the program's own links and its own
// uninstall key are ever touched; records that name anything else are skipped.
struct JournalOwner {
    Str installDir;
    Str programName;
    Str backupDir;
};

// Whether the journal's lines begin with the marker, this program's name and this directory.
bool JournalBelongsTo(const StrArray& lines, const JournalOwner& owner);

// Undoes the changes, last first: kept files go back over the new ones, new files are deleted,
// temporary files too, the uninstall key gets its saved values back. When everything is back,
// the journal and the backup folder are deleted; then the directories that the run created are
// removed, deepest first, when they ended empty. False when something could not be put back.
bool UndoJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner);

// Finishes a journal that was made final: deletes the kept files, then the journal and the
// backup folder. False when something could not be deleted.
bool FinishJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner);

// Before an installation into installDir: when an interrupted run of the same program left its
// backup folder there, puts the previous installation back (or removes the partial new one, or
// finishes one that had been made final). A backup folder that is not this program's, or one
// that cannot be fully undone now, raises an error naming it; nothing else is touched.
void RecoverInterruptedInstall(InstallHost& host, const Str& installDir, const Str& programName);

#endif
