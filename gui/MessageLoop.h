// What the message loop remembers across messages, process-wide (there is one user-interface
// thread). The loop itself is Form's (runLoop, loopStep, pumpMessages, processMessage).
#ifndef LUMIVO_GUI_MESSAGELOOP_H
#define LUMIVO_GUI_MESSAGELOOP_H

#include <windows.h>

// The popup (a shown tooltip) that the next key, click or activation change closes, or null.
extern HWND OpenPopup;
// wParam of the last mouse move or button message the loop saw (buttons and modifier keys held).
extern WPARAM LastMouseKeys;
// Screen position of the last button message the loop saw.
extern POINT LastMousePoint;
// The last key or mouse button the loop saw was a key: a focus change came from the keyboard.
extern bool LastInputFromKeyboard;
// The own-class toolkit window the mouse was last seen over; it gets WM_MOUSELEAVE when the mouse
// leaves it.
extern HWND MouseTracked;

// A window that goes away is forgotten as popup and as tracked window.
void ForgetLoopWindow(HWND window);

#endif
