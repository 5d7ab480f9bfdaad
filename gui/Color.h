// Colour arithmetic for custom-drawn windows.
#ifndef LUMIVO_GUI_COLOR_H
#define LUMIVO_GUI_COLOR_H

#include <windows.h>

#include <stdint.h>

// Each of red, green and blue: a * (100 - percent) / 100 + b * percent / 100, each product
// divided on its own.
COLORREF BlendColor(COLORREF a, COLORREF b, int32_t percent);
// The user chose a high-contrast theme: custom drawing then uses the system colours only.
bool HighContrastOn();
// Where HighContrastOn asks (the system's accessibility setting unless a test replaces it: Wine
// has no high-contrast mode to switch on).
typedef bool (*HighContrastReader)();
extern HighContrastReader ReadHighContrast;

#endif
