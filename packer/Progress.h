// Progress of a build on stderr: files and bytes done. Workers count, one thread shows: one line
// that rewrites itself on a terminal; in a log (stderr not a terminal) a new line only for news,
// at most one per tenth of the work, so at most about ten lines and the last.
#ifndef LUMIVO_PACKER_PROGRESS_H
#define LUMIVO_PACKER_PROGRESS_H

#include <atomic>
#include <chrono>
#include <stdint.h>

class Progress {
public:
    Progress(uint64_t totalFiles, uint64_t totalBytes, bool quiet);

    // Counts one finished file (any thread).
    void fileDone(uint64_t bytes);
    // Shows the counts when enough time has passed since the last time (the showing thread).
    void show();
    // Shows the final counts and ends the line.
    void finish();

private:
    void print(bool last, uint64_t fileCount, uint64_t byteCount);

    uint64_t totalFiles, totalBytes;
    bool quiet, terminal;
    std::atomic<uint64_t> files{0}, bytes{0};
    std::chrono::steady_clock::time_point lastShown;
    uint64_t shownFiles = 0, shownBytes = 0; // what the last line said
    int shownTenth = 0;                      // in a log: the tenth of the work it reached
};

#endif
