// Putting text on the clipboard.
#ifndef LUMIVO_GUI_CLIPBOARD_H
#define LUMIVO_GUI_CLIPBOARD_H

#include "core/Str.h"

#include <windows.h>

// Replaces the clipboard's content by the text as CF_UNICODETEXT, the clipboard being opened for
// the window. MemoryError or WinError when the clipboard cannot be opened, emptied or set; the
// clipboard is closed again on every path.
void CopyTextToClipboard(HWND window, const Str& text);

#endif
