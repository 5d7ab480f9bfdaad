// Progress of a build on stderr: files and bytes done. Workers count, one thread shows: a line
// that rewrites itself on a terminal, a line now and then in a log.
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
    void print(bool last);

    uint64_t totalFiles, totalBytes;
    bool quiet, terminal;
    std::atomic<uint64_t> files{0}, bytes{0};
    std::chrono::steady_clock::time_point lastShown;
};

#endif
