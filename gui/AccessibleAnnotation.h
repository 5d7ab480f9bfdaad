// What assistive technology (screen readers) reads about a window beyond what the system's own
// accessible object tells: a name, a role and a description. A window with an annotation answers
// WM_GETOBJECT for its client area with the system's object, those three answers replaced.
#ifndef LUMIVO_GUI_ACCESSIBLEANNOTATION_H
#define LUMIVO_GUI_ACCESSIBLEANNOTATION_H

#include "core/Str.h"

#include <windows.h>

#include <stdint.h>

struct AccessibleAnnotation {
    Str name;         // empty: the system's name (the window text, or a label's)
    Str description;  // empty: the system's
    int32_t role = 0; // ROLE_SYSTEM_...; 0: the system's
};

// Answers a WM_GETOBJECT for the window's client area with the annotated object: true when the
// result is set. False for other objects, an empty annotation, or where the system has no
// accessibility library (the window then answers as any window does).
bool AnswerAccessibleObject(HWND window, const AccessibleAnnotation& annotation, WPARAM wParam, LPARAM lParam,
                            LRESULT& result);

#endif
