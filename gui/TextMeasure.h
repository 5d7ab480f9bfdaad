// Measuring a control's text the way the control draws it: in its own font, on its own window.
#ifndef LUMIVO_GUI_TEXTMEASURE_H
#define LUMIVO_GUI_TEXTMEASURE_H

#include "gui/Control.h"
#include "gui/DrawContext.h"

#include <windows.h>

#include <stdint.h>

// The 52 letters whose width, divided by 52, is the font's average character width.
extern const wchar_t AlphabetText[];
enum : int32_t { AlphabetLength = 52 };

// A window context of the control with the control's current font selected.
DrawContext OwnFontContext(Control& control);

// DrawTextW with DT_CALCRECT and the format on the bounds; true and the bounds' right and bottom
// in size when it succeeds, false and size untouched when it fails. The length goes through CheckInt.
bool CalcTextSize(DrawContext& context, const wchar_t* text, int64_t length, RECT bounds, UINT format,
                  SIZE& size);

// Size of the text on one line (DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX on an unbounded rectangle),
// or the fallback when DrawTextW fails.
SIZE SingleLineSize(DrawContext& context, const wchar_t* text, int64_t length, SIZE fallback);

#endif
