#include "packer/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

Progress::Progress(uint64_t totalFiles, uint64_t totalBytes, bool quiet)
    : totalFiles(totalFiles), totalBytes(totalBytes), quiet(quiet), terminal(isatty(STDERR_FILENO) == 1),
      lastShown(std::chrono::steady_clock::now())
{
}

void Progress::fileDone(uint64_t size)
{
    bytes += size;
    files++;
}

// Which tenth of the work is done, by bytes or by files, whichever is further.
static int Tenths(uint64_t done, uint64_t total)
{
    return total ? static_cast<int>(done * 10 / total) : 10;
}

void Progress::show()
{
    if (quiet)
        return;
    uint64_t fileCount = files.load(), byteCount = bytes.load();
    if (fileCount == shownFiles && byteCount == shownBytes)
        return; // nothing new to say
    auto now = std::chrono::steady_clock::now();
    if (terminal) {
        // The line rewrites itself, a few times a second at most.
        if (now - lastShown < std::chrono::milliseconds(100))
            return;
    } else {
        // A log gets a line per file at most, and at most one per tenth of the work.
        int tenth = std::max(Tenths(byteCount, totalBytes), Tenths(fileCount, totalFiles));
        if (tenth <= shownTenth)
            return;
        shownTenth = tenth;
    }
    lastShown = now;
    print(false, fileCount, byteCount);
}

void Progress::finish()
{
    uint64_t fileCount = files.load(), byteCount = bytes.load();
    // A log has the last line already when it said this; a terminal's line still needs its end.
    if (!quiet && (terminal || fileCount != shownFiles || byteCount != shownBytes))
        print(true, fileCount, byteCount);
}

void Progress::print(bool last, uint64_t fileCount, uint64_t byteCount)
{
    shownFiles = fileCount;
    shownBytes = byteCount;
    double megabytes = byteCount / 1e6, totalMegabytes = totalBytes / 1e6;
    // On a terminal the line is cleared to its end: a shorter line leaves nothing of a longer one.
    std::fprintf(stderr, "%slumivo-pack: %llu/%llu files, %.1f/%.1f MB%s%s", terminal ? "\r" : "",
                 static_cast<unsigned long long>(fileCount), static_cast<unsigned long long>(totalFiles), megabytes,
                 totalMegabytes, terminal ? "\033[K" : "", terminal && !last ? "" : "\n");
    std::fflush(stderr);
}
