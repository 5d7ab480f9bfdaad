// The one window procedure of the toolkit: toolkit classes use it directly, native controls
// through subclassing.
#ifndef LUMIVO_GUI_WINDOWPROC_H
#define LUMIVO_GUI_WINDOWPROC_H

#include <windows.h>

// Finds the window's object in the window registry and lets it dispatch the message; windows
// without an object (among them every window during its CreateWindowExW) go to DefWindowProcW.
// No exception leaves it: an Error is reported once through the object's reportError, and a
// failed WM_PAINT still validates the window.
LRESULT CALLBACK ToolkitWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
