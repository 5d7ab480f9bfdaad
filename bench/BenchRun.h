// Running one command and measuring it from outside: wall time, CPU time, peak memory.
#ifndef LUMIVO_BENCH_BENCHRUN_H
#define LUMIVO_BENCH_BENCHRUN_H

#include <cstdint>
#include <string>
#include <vector>

struct RunMeasure {
    int exitCode = -1;
    double wallSeconds = 0;
    double userSeconds = 0; // the process and the children it waited for
    double systemSeconds = 0;
    uint64_t minorFaults = 0;      // pages the system gave the process (new memory, files it mapped)
    uint64_t peakRssBytes = 0;     // the kernel's high-water mark of the resident set, sampled likewise
    uint64_t peakPrivateBytes = 0; // anonymous resident memory, sampled every few milliseconds
    std::string output;            // standard output and error
};

// Runs argv (argv[0] looked up in PATH) with its output captured and waits for it to end.
// A command under Wine is measured as the Windows program itself: wine execs into it.
RunMeasure RunMeasured(const std::vector<std::string>& argv);

// Runs a shell command line and returns its exit status (for setup steps that are not measured).
int RunShell(const std::string& command);

#endif
