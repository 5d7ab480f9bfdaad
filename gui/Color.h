// Colour arithmetic for custom-drawn windows.
#ifndef LUMIVO_GUI_COLOR_H
#define LUMIVO_GUI_COLOR_H

#include <windows.h>

#include <stdint.h>

// Each of red, green and blue: a * (100 - percent) / 100 + b * percent / 100, each product
// divided on its own.
COLORREF BlendColor(COLORREF a, COLORREF b, int32_t percent);

#endif
