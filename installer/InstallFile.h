// Puts one archive entry (or any block of bytes) at its place in an installation, letting the
// user retry a full disk or a file in use.
#ifndef LUMIVO_INSTALLER_INSTALLFILE_H
#define LUMIVO_INSTALLER_INSTALLFILE_H

#include "archive/EntryPipeline.h"
#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

class Error;
struct InstallHost;
struct InstallTransaction;

// Where the copying stands: bytes of all files written before this one, and of all together.
struct CopyProgress {
    int64_t done;
    int64_t total;
};

// Writes bytes (size of them) to destination through the transaction as they come, stamped with
// time when given: created in place where nothing stands (flags of CreateNewFile: flushed with
// FlushToDisk), else through a new temporary file beside it, flushed, then moved into place with the
// previous file kept aside. A full disk, a denied access or a sharing violation asks Retry or
// Cancel and tries again on Retry, as often as the user asks, with the bytes from the start
// (rewound), without writing them again when only the move failed; Cancel raises Abort. A silent
// run retries a few times after a short wait, then gives up with Abort. Other errors (a damaged
// entry) pass to the caller. With progress, a large file reports every few megabytes.
void InstallBytes(InstallHost& host, InstallTransaction& transaction, const ByteSource& bytes, int64_t size,
                  const uint64_t* time, const Str& destination, const CopyProgress* progress = nullptr,
                  uint32_t flags = 0);

// After a failed attempt (counting from 1) at path: a full disk, a denied access or a sharing
// violation asks Retry or Cancel, or in a silent run waits a second, a few times; true to try
// again, false for an error that is not one to retry. Cancel, or the last silent attempt, raises
// Abort.
bool RetryAfter(InstallHost& host, const Error& error, const Str& path, int attempt);

// Takes the next entry of the pipeline (the window answering while it is begun and while its
// pieces are unpacked; its error, if it is missing or damaged, raised here) and installs it with
// its own time (InstallBytes), unless it was written ahead. The entry's size.
int64_t InstallFile(InstallHost& host, InstallTransaction& transaction, EntryPipeline& entries,
                    const Str& destination, const CopyProgress& progress);

// Stops the pipeline's workers, the window answering while they finish the entry in hand (a worker
// may be writing a file ahead).
void StopEntries(InstallHost& host, EntryPipeline& entries);

// Files written ahead of the copy loop by the workers that unpack them (EntryPipeline::handleAhead):
// a new file of a few megabytes at most, where nothing stands, is created in place and written as
// it is unpacked on the worker; so is a larger one of a later block decoded beside the loop's.
// Anything else (a file to replace, a larger one, whose progress the loop shows, a failure of any
// kind) is left to the copy loop, which does it in order as if nothing had been tried; after a
// failure nothing more is written ahead. The loop still reports each file in its turn.
struct WriteAhead {
    InstallTransaction* transaction;
    const StrArray* destinations; // by the pipeline's entry index; unchanged while workers run
    ByteArray inNewDirectory;     // by entry index: 1 when its directory was made by this run
    volatile long stopped;
};
EntryHandler WriteAheadHandler(WriteAhead& ahead);

// Empties every path that occurs more than once, without regard to case: which copy stands there
// at the end depends on the order of the list, so only the loop writes those (an empty path is
// never written ahead).
void ClearRepeatedPaths(StrArray& paths);

// Marks the destinations whose directory is one of newDirectories (made by this run): nothing can
// have stood at them, so they are created without looking first.
void MarkNewDirectories(WriteAhead& ahead, const StrArray& newDirectories);

#endif
