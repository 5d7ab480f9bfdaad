// DrawContext: a device context in one counted record that knows how the DC was obtained and how
// to give it back, and that selects back everything it selected before it lets the DC go.
// Copying shares the record; the last holder releases it.
#ifndef LUMIVO_GUI_DRAWCONTEXT_H
#define LUMIVO_GUI_DRAWCONTEXT_H

#include "core/Str.h"
#include "gui/GdiObj.h"

#include <windows.h>

#include <stdint.h>

enum DrawContextKind : int32_t { WindowDCKind = 1, PaintDCKind = 2, MemoryDCKind = 3 };

struct DrawRecord {
    int32_t count;
    HDC dc;      // null once released
    HWND window; // of a window or paint DC
    int32_t kind;
    PAINTSTRUCT paint;
    HGDIOBJ previousFont; // what the selection of a font replaced; null when none is selected
    GdiObj font;
    int32_t lineHeight; // -1 until measured in the selected font
    HGDIOBJ previousBrush;
    GdiObj brush;
    HGDIOBJ previousPen;
    GdiObj pen;
};

class DrawContext {
public:
    DrawContext() : record(nullptr) {}
    DrawContext(const DrawContext& other);
    DrawContext& operator=(const DrawContext& other);
    ~DrawContext() { release(); }

    // Each open first releases what the context held. Failure: the context ends empty and the
    // system error is thrown.
    void openWindowDC(HWND window); // GetDC; a null window gives the screen
    void openPaintDC(HWND window);  // BeginPaint: for WM_PAINT only
    // CreateCompatibleDC of the other context's DC, or of the screen without one.
    void openMemoryDC(const DrawContext* other);

    HDC dc() const { return record ? record->dc : nullptr; }
    // The PAINTSTRUCT of a paint context (its rcPaint tells what to draw).
    const PAINTSTRUCT* paintStruct() const { return record ? &record->paint : nullptr; }

    // Selects a font and keeps it alive while selected; nothing happens when it is selected already.
    void selectFont(const GdiObj& font);
    // Selects a font the context does not own; null only unselects the current one.
    void selectFontHandle(HFONT font);
    void selectBlackBrush();
    void selectSolidBrush(COLORREF colour);
    void selectNullPen();

    void textOut(int32_t x, int32_t y, const wchar_t* text, int64_t length);
    // GetTextExtentPoint32W; 10 per character by 20 when it fails or there is no DC.
    SIZE textExtent(const wchar_t* text, int64_t length);
    // Height of "Wy" in the selected font, measured once per selection.
    int32_t lineHeight();
    // Width of the widest line and the line count times lineHeight; lines end at CR LF, CR or LF,
    // and a break at the very end adds no empty line.
    SIZE multiLineExtent(const wchar_t* text, int64_t length);
    // Face name of the selected font.
    Str textFace();
    // Fills the rectangle from the start colour to the end colour: left to right for direction 1,
    // top to bottom otherwise.
    void gradientFill(const RECT& rectangle, int32_t direction, COLORREF start, COLORREF end);
    // Fills the rectangle with one colour (SetBkColor and an opaque ExtTextOutW without text).
    void fillSolid(const RECT& rectangle, COLORREF colour);

    // Lets go of the record; the last holder selects back what was selected and returns the DC.
    void release();

private:
    void openFresh(int32_t kind, HWND window, HDC other);

    DrawRecord* record;
};

#endif
