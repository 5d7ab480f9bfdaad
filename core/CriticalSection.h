// A lock for the little state that threads share, taken and released on every path.
#ifndef LUMIVO_CORE_CRITICALSECTION_H
#define LUMIVO_CORE_CRITICALSECTION_H

#include <windows.h>

// Recursive: a thread that holds it may take it again.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section); }
    ~CriticalSection() { DeleteCriticalSection(&section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { EnterCriticalSection(&section); }
    void leave() { LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION section;
};

// Holds a lock for the rest of the scope.
class LockGuard {
public:
    explicit LockGuard(CriticalSection& taken) : lock(taken) { lock.enter(); }
    ~LockGuard() { lock.leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CriticalSection& lock;
};

#endif
