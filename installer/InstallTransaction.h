// One installation as a transaction. Every change it makes (a file put in place, a directory
// created, a link replaced, the uninstall key written) is first written down in a journal, and
// whatever it replaces is kept aside, so that the whole can be undone on failure or cancel (or
// by the next run, after a kill) and made final on success by deleting what was kept.
//
// A replaced file or link is kept beside itself under a temporary name (the name, a dot, 16 random
// hexadecimal digits, "$$"): keeping it is a rename within its own folder. A file where nothing
// stood is created in place and not flushed: it protects nothing that existed before the run, and
// should the run die before its commit, the journal's record of it makes the next run remove it.
// The journal lives in a hidden folder inside the installation directory.
#ifndef LUMIVO_INSTALLER_INSTALLTRANSACTION_H
#define LUMIVO_INSTALLER_INSTALLTRANSACTION_H

#include "archive/EntryFile.h"
#include "core/Array.h"
#include "core/Str.h"
#include "installer/InstallJournal.h"

#include <stdint.h>
#include <windows.h>

struct InstallHost;

// The folder inside the installation directory that holds the journal, and the journal.
extern const wchar_t* const BackupFolderName;
extern const wchar_t* const JournalFileName;

struct InstallTransaction {
    InstallHost* host = nullptr;
    Str installDir;
    Str programName;
    Str backupDir;
    InstallJournal journal;
    bool begun = false;
};

// One path that the transaction puts something at.
struct PutStep {
    int64_t number = -1; // its number in the journal; -1 before it is written down
    Str path;
    Str aside;            // where the file that stood at path is kept
    TemporaryFile staged; // the new file, complete and flushed, until it is moved into place
    bool settled = false; // the previous file is aside, or known to have been absent
    bool absentBefore = false;
};

// Creates the backup folder and the journal, naming the program and the directory and listing
// the directories that this run created for it (shortest first: the rollback removes them,
// deepest first, when they end empty). On failure the folders are removed again, those created
// directories included.
void BeginTransaction(InstallTransaction& transaction, InstallHost& host, const Str& installDir,
                      const Str& programName, const StrArray& createdDirectories);

// How CreateNewFile puts a file in place.
enum : uint32_t {
    InNewDirectory = 1, // path lies in a directory this run made: nothing stood there, so no look first
    FlushToDisk = 2,    // flushed before it is closed (the data file, which makes an installation final)
};

// Puts a new file at path when nothing stands there: written down first, then created in place at
// its own name (no temporary file, no move), written as its bytes come, stamped with the last-write
// time when given, and closed. False, with nothing changed and no byte read, when something stands
// at path: that is kept aside and replaced instead (StageFile, CommitFile). A failure deletes what
// was created and raises with the path (a full disk: 112). Safe on several threads at once (the
// workers that write files ahead of the copy loop) when path is the thread's own text: texts are
// counted without locks.
bool CreateNewFile(InstallTransaction& transaction, const Str& path, const ByteSource& bytes, const uint64_t* time,
                   const WriteProgress* progress = nullptr, uint32_t flags = 0);

// Writes the new content of path to a new temporary file beside it (written down first), with
// the last-write time when given, flushed to disk. A failure deletes the temporary file and
// raises (a full disk: 112 with the temporary file's name); the step can be staged again.
void StageFile(InstallTransaction& transaction, PutStep& step, const Str& path, const ByteSource& bytes,
               const uint64_t* time, const WriteProgress* progress = nullptr);
void StageFile(InstallTransaction& transaction, PutStep& step, const Str& path, const uint8_t* bytes,
               int64_t count, const uint64_t* time);

// Keeps the file at step.path aside (or writes down that there was none), then moves the staged
// file into place. A file that another program holds open raises its code with the path and
// stays where it is, as does the staged file, for another try.
void CommitFile(InstallTransaction& transaction, PutStep& step);

// Makes room at path for a file that something else then creates there (a link): written down,
// and the file standing there kept aside beside it.
void ClearPath(InstallTransaction& transaction, PutStep& step, const Str& path);

// Undoes one step at once: the previous file goes back, or the new one is deleted.
void UndoStep(InstallTransaction& transaction, PutStep& step);

// Creates a directory that does not exist yet, written down first; true when this call made it.
// Failures are left to show up when the first file is put in it.
bool MakeDirectory(InstallTransaction& transaction, const Str& path);

// Writes down every value that the key holds before the installation writes it.
void SaveKey(InstallTransaction& transaction, HKEY root, const Str& keyPath);

// Makes the installation final: written down (and flushed) as such, then the kept files, the
// journal and the backup folder are deleted. What cannot be deleted now is left for the next run.
void CommitTransaction(InstallTransaction& transaction);

// Undoes every change, last first, then deletes the journal and the folders. False when
// something could not be put back: the journal then stays, and the next run finishes the work.
bool RollBackTransaction(InstallTransaction& transaction);

#endif
