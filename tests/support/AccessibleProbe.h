// Reading what assistive technology reads about a window: its accessible object through the
// system's accessibility library (AccessibleObjectFromWindow), as a screen reader gets it.
#ifndef LUMIVO_TESTS_ACCESSIBLEPROBE_H
#define LUMIVO_TESTS_ACCESSIBLEPROBE_H

#include <windows.h>

#include <string>

struct AccessibleAnswers {
    bool available = false; // the library and the window's object could be had
    std::wstring name;
    std::wstring description;
    long role = 0;
};

// The answers of the window's client-area object about itself. The window's thread must be
// handling messages (a window of the calling thread is asked directly).
AccessibleAnswers ReadAccessible(HWND window);

#endif
