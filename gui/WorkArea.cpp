#include "gui/WorkArea.h"

RECT WorkAreaNear(const RECT& rectangle)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromRect(&rectangle, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    return info.rcWork;
}

// One axis: the low and high edges against the work area's.
static void FitAxis(LONG& low, LONG& high, LONG workLow, LONG workHigh)
{
    if (high > workHigh) {
        low -= high - workHigh;
        high = workHigh;
    }
    if (low < workLow) {
        high += workLow - low;
        low = workLow;
    }
    if (high > workHigh)
        high = workHigh;
}

RECT FitRectToWorkArea(RECT rectangle)
{
    RECT work = WorkAreaNear(rectangle);
    FitAxis(rectangle.left, rectangle.right, work.left, work.right);
    FitAxis(rectangle.top, rectangle.bottom, work.top, work.bottom);
    return rectangle;
}

RECT CentreRectInWorkArea(RECT rectangle)
{
    RECT work = WorkAreaNear(rectangle);
    LONG width = rectangle.right - rectangle.left;
    LONG height = rectangle.bottom - rectangle.top;
    LONG left = work.left + (work.right - work.left - width) / 2;
    LONG top = work.top + (work.bottom - work.top - height) / 2;
    return RECT{left, top, left + width, top + height};
}
