// Keeping screen rectangles on the work area (the monitor without the task bar).
#ifndef LUMIVO_GUI_WORKAREA_H
#define LUMIVO_GUI_WORKAREA_H

#include <windows.h>

// The work area of the monitor nearest to the rectangle.
RECT WorkAreaNear(const RECT& rectangle);
// Moves the rectangle into the work area of the nearest monitor: shifted left when it sticks out
// on the right, then right when it sticks out on the left, then clipped on the right; the same
// for bottom, top and bottom.
RECT FitRectToWorkArea(RECT rectangle);
// The rectangle, with its size kept, centred in the work area of the nearest monitor.
RECT CentreRectInWorkArea(RECT rectangle);

#endif
