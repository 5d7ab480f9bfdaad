// Where a thread is while it keeps another waiting: a sampler that, while armed, suspends the
// thread every few tens of milliseconds and records its call stack (module and offset of each
// frame), so that a test that finds the window unanswered can say what the window's thread did.
#ifndef LUMIVO_TESTS_SUPPORT_STACKSAMPLER_H
#define LUMIVO_TESTS_SUPPORT_STACKSAMPLER_H

#include <windows.h>

#include <string>
#include <vector>

class StackSampler {
public:
    // Samples thread (a handle this object duplicates) every intervalMs once it has been armed for
    // afterMs.
    StackSampler(HANDLE thread, DWORD intervalMs, DWORD afterMs);
    ~StackSampler();
    StackSampler(const StackSampler&) = delete;
    StackSampler& operator=(const StackSampler&) = delete;

    // Samples are taken only between arm and disarm.
    void arm();
    void disarm();
    // The samples taken so far, one line each: "+<ms since armed> module+offset < module+offset ...".
    std::vector<std::string> samples();

private:
    static DWORD WINAPI Run(void* self);
    void run();

    HANDLE target = nullptr;
    HANDLE stop = nullptr;
    HANDLE thread = nullptr;
    DWORD interval;
    DWORD after;
    volatile LONG armedAt = 0; // tick count + 1 while armed, 0 otherwise
    CRITICAL_SECTION lock;
    std::vector<std::string> taken;
};

#endif
