// Running test code from inside a message loop that the test itself cannot return from: a modal
// dialog's loop, an alert, a nested loop. The callbacks ride on thread timers, which every loop
// that dispatches messages runs.
#ifndef LUMIVO_TESTS_MODALHELPER_H
#define LUMIVO_TESTS_MODALHELPER_H

#include <functional>

// Calls the callback once, from whatever loop dispatches messages on this thread after about
// delayMs milliseconds. Exceptions from the callback are caught there (failed doctest CHECKs are
// recorded as usual; use CHECK rather than REQUIRE inside).
void RunInModalLoop(std::function<void()> callback, unsigned delayMs = 10);

// Calls the callback from the running loop every periodMs until it returns true.
void RunInModalLoopUntil(std::function<bool()> callback, unsigned periodMs = 10);

// Calls the callback once from the running loop, as soon as a toolkit dialog ("Lumivo Dialog") is
// this thread's active window (so that keys posted to the focus reach it).
void RunWhenDialogActive(std::function<void()> callback);

// Dispatches this thread's messages for about ms milliseconds (for a test without a loop of its own).
void PumpMessagesFor(unsigned ms);

// Forgets the callbacks that have not run yet (the end of a test that did not need them all).
void CancelModalLoopCallbacks();

// How many callbacks are still waiting.
int PendingModalLoopCallbacks();

#endif
