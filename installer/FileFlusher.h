// Files made durable in the background: a written file is handed over open, and a few threads flush
// it to disk and close it while the installation writes the next ones. Flushing waits for the disk,
// not for a processor, so several files are in flight at once; what matters is only that all of
// them are on disk before the installation is made final (await).
#ifndef LUMIVO_INSTALLER_FILEFLUSHER_H
#define LUMIVO_INSTALLER_FILEFLUSHER_H

#include "core/Array.h"
#include "core/Owned.h"
#include "core/Str.h"

#include <stdint.h>

struct FlusherState;

// Called while a wait lasts, every few tens of milliseconds, so that a window can answer meanwhile.
struct WaitHandler {
    void (*call)(void* context);
    void* context;
};

// Not copyable; destroying it waits for every file handed over and closes it.
class FileFlusher {
public:
    FileFlusher();
    FileFlusher(const FileFlusher&) = delete;
    FileFlusher& operator=(const FileFlusher&) = delete;
    ~FileFlusher();

    // Takes over an open file (with write access), written and complete; path names it in an
    // error. Waits while many files are still in flight (calling whileWaiting when given).
    void add(OwnedFileHandle& file, const Str& path, const WaitHandler* whileWaiting = nullptr);
    // Waits until every file handed over is flushed and closed, then raises the first that could
    // not be flushed (its code, with its path), if any.
    void await(const WaitHandler* whileWaiting = nullptr);
    // Waits until every file handed over is closed; failures are forgotten (for an installation
    // that is being undone anyway).
    void drain();
    // Files handed over and not yet closed.
    int64_t inFlight() const;

private:
    void waitUntilIdle(const WaitHandler* whileWaiting);

    FlusherState* state;
    StrArray paths; // by ticket; only the caller's thread touches texts
};

#endif
