// The progress shown on a window's taskbar button, where the shell offers it (the taskbar list of
// Windows 7 and later). Without it nothing is shown and nothing fails.
#ifndef LUMIVO_GUI_TASKBARPROGRESS_H
#define LUMIVO_GUI_TASKBARPROGRESS_H

#include "core/Owned.h"

#include <shobjidl.h>
#include <windows.h>

#include <stdint.h>

class TaskbarProgress {
public:
    TaskbarProgress() = default;
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // done out of total on the window's button. COM must be initialised on the thread.
    void show(HWND window, int64_t done, int64_t total);
    // The button without progress again.
    void clear(HWND window);
    // The shell's taskbar list could be had (asked once, at the first show).
    bool available();

private:
    bool asked = false;
    int32_t shownPosition = -1;
    ComPtr<ITaskbarList3> list;
};

#endif
