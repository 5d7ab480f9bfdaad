// Waiting in a test for a condition that another thread brings about.
#ifndef LUMIVO_TESTS_SUPPORT_WAITFOR_H
#define LUMIVO_TESTS_SUPPORT_WAITFOR_H

#include "doctest.h"

#include <windows.h>

// Waits until condition() holds, failing with what it waited for after 30 s.
template <class Condition>
void WaitFor(const char* what, Condition condition)
{
    ULONGLONG deadline = GetTickCount64() + 30000;
    while (!condition()) {
        if (GetTickCount64() > deadline)
            FAIL((doctest::String("timed out waiting for ") + what));
        Sleep(1);
    }
}

#endif
