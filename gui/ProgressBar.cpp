#include "gui/ProgressBar.h"

#include <commctrl.h>

#include <algorithm>

ProgressBar::ProgressBar(ControlGroup* parent, uint32_t flags) : Control(parent, 0, flags | NoTabStop)
{
    // The class exists once the common controls have registered it.
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    createWindow(PROGRESS_CLASSW, PBS_SMOOTH, 0);
    send(PBM_SETRANGE32, 0, ProgressRange);
    send(PBM_SETPOS, 0, 0);
    shownPosition = 0;
}

SizeLimits ProgressBar::sizeLimits()
{
    int32_t height = scaled(18);
    return SizeLimits{0, height, Unbounded, height};
}

int32_t ProgressPosition(int64_t done, int64_t total)
{
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return ProgressRange;
    if (total <= INT64_MAX / ProgressRange)
        return static_cast<int32_t>(done * ProgressRange / total);
    // Totals beyond 900 TB: divided first, so that nothing overflows; full only when done.
    return static_cast<int32_t>(std::min<int64_t>(done / (total / ProgressRange), ProgressRange - 1));
}

void ProgressBar::setProgress(int64_t done, int64_t total)
{
    int32_t position = ProgressPosition(done, total);
    if (position == shownPosition)
        return; // a step too small to see costs no message
    shownPosition = position;
    send(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int32_t ProgressBar::position()
{
    return static_cast<int32_t>(send(PBM_GETPOS, 0, 0));
}
