// Undoing what an installation journal records, or finishing what it made final: for a run that
// failed or was cancelled, and for the leftovers of one that was killed. A journal read from disk
// may have been written by anyone who could change the directory, so nothing in it is taken on
// trust: every path inside the directory is reached through handles from the held directory, one
// component at a time, a link on the way is never followed, and only the program's own links and
// the values of its own uninstall key are touched.
#ifndef LUMIVO_INSTALLER_TRANSACTION_ROLLBACK_H
#define LUMIVO_INSTALLER_TRANSACTION_ROLLBACK_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

struct InstallHost;
struct PreparedDirectory;

// Whose journal it is. Only paths inside installDir, the program's own links and its own
// uninstall key (under the root of its kind) are ever touched; records that name anything else
// are skipped.
struct JournalOwner {
    Str installDir;
    Str programName;
    Str backupDir;
    bool perUser = false;       // which links and which uninstall key are the program's
    void* directory = nullptr;  // installDir, held open: every path inside is reached from it
};

// The first thing that could not be undone: the code of the call that failed and the path (or
// key) it was about; code 0 while everything was.
struct UndoFailure {
    uint32_t code = 0;
    Str path;
};

// The largest journal that is read: far beyond the records of any installation.
enum : int64_t { LargestJournal = 256 << 20 };

// Whether the journal's lines begin with the marker, this program's name and this directory.
bool JournalBelongsTo(const StrArray& lines, const JournalOwner& owner);

// Undoes the changes, last first: kept files go back over the new ones, new files are deleted,
// temporary files too, the uninstall key gets its saved values back. When everything is back,
// the journal and the backup folder are deleted; then the folders that the run created inside the
// directory are removed, deepest first, when they ended empty. The directory itself and the
// folders above it are left to whoever holds it: appended to madeForDirectory when given
// (shallowest first). False when something could not be put back (the first such thing in
// failure).
bool UndoJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure,
                 StrArray* madeForDirectory = nullptr);

// Finishes a journal that was made final: deletes the kept files, then the journal and the
// backup folder. False when something could not be deleted (the first such thing in failure).
bool FinishJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure);

// Before an installation into the prepared directory: when an interrupted run of the same program
// left its backup folder there, puts the previous installation back (or removes the partial new
// one, or finishes one that had been made final); the folders that run made for the directory are
// added to the prepared ones, as this run's own. A file in use is asked about (Retry or Cancel,
// which raises Abort) or, silently, tried again a few times. Raises ERROR_ALREADY_EXISTS naming
// the backup folder, touching nothing, when the leftovers are not this program's, lie behind a
// link, or (with administrator rights) could have been changed by anyone but administrators;
// ErrCorrupted naming the journal when it is larger than LargestJournal or numbers steps it does
// not hold; what cannot be undone raises the failed call's code with its path (the journal stays
// for the next run).
void RecoverInterruptedInstall(InstallHost& host, PreparedDirectory& directory, const Str& programName,
                               bool perUser);

#endif
