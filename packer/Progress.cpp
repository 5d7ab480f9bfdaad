#include "packer/Progress.h"

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

void Progress::show()
{
    auto now = std::chrono::steady_clock::now();
    if (quiet || now - lastShown < std::chrono::milliseconds(terminal ? 100 : 2000))
        return;
    lastShown = now;
    print(false);
}

void Progress::finish()
{
    if (!quiet)
        print(true);
}

void Progress::print(bool last)
{
    double megabytes = bytes / 1e6, totalMegabytes = totalBytes / 1e6;
    std::fprintf(stderr, "%slumivo-pack: %llu/%llu files, %.1f/%.1f MB%s", terminal ? "\r" : "",
                 static_cast<unsigned long long>(files.load()), static_cast<unsigned long long>(totalFiles),
                 megabytes, totalMegabytes, terminal && !last ? "" : "\n");
    std::fflush(stderr);
}
