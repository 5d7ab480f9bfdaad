// Puts one archive entry (or any block of bytes) at its place in an installation, letting the
// user retry a full disk or a file in use.
#ifndef LUMIVO_INSTALLER_INSTALLFILE_H
#define LUMIVO_INSTALLER_INSTALLFILE_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

class EntryPipeline;
struct InstallHost;
struct InstallTransaction;

// Where the copying stands: bytes of all files written before this one, and of all together.
struct CopyProgress {
    int64_t done;
    int64_t total;
};

// Writes bytes to destination through the transaction, stamped with time when given: created in
// place where nothing stands (made durable in the background), else through a new temporary file
// beside it, flushed, then moved into place with the previous file kept aside. A full disk, a
// denied access or a sharing violation asks Retry or Cancel and tries again on Retry, as often as
// the user asks, with the same bytes, without writing them again when only the move failed; Cancel
// raises Abort. A silent run retries a few times after a short wait, then gives up with Abort.
// Other errors pass to the caller. With progress, a large file reports every few megabytes.
void InstallBytes(InstallHost& host, InstallTransaction& transaction, const ByteArray& bytes,
                  const uint64_t* time, const Str& destination, const CopyProgress* progress = nullptr);

// Takes the next entry of the pipeline (the window answering while it is unpacked; its error, if
// it is missing or damaged, raised here) and installs it with its own time (InstallBytes). The
// entry's size.
int64_t InstallFile(InstallHost& host, InstallTransaction& transaction, EntryPipeline& entries,
                    const Str& destination, const CopyProgress& progress);

#endif
