// Puts one archive entry (or any block of bytes) at its place in an installation, letting the
// user retry a full disk or a file in use.
#ifndef LUMIVO_INSTALLER_INSTALLFILE_H
#define LUMIVO_INSTALLER_INSTALLFILE_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

struct InstallHost;
struct InstallTransaction;

// Writes bytes to destination through the transaction (a new temporary file beside it, flushed,
// then moved into place with the previous file kept aside), stamped with time when given. A full
// disk, a denied access or a sharing violation asks Retry or Cancel and tries again on Retry, as
// often as the user asks, without writing the bytes again when only the move failed; Cancel
// raises Abort. A silent run retries a few times after a short wait, then gives up with Abort.
// Other errors pass to the caller.
void InstallBytes(InstallHost& host, InstallTransaction& transaction, const ByteArray& bytes,
                  const uint64_t* time, const Str& destination);

// Reads the entry once and installs it with its own time (InstallBytes). The entry's size.
int64_t InstallFile(InstallHost& host, InstallTransaction& transaction, const Str& entryName,
                    const Str& destination);

#endif
