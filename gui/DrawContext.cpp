#include "gui/DrawContext.h"

#include "core/Error.h"

#include <new>

DrawContext::DrawContext(const DrawContext& other) : record(other.record)
{
    if (record)
        record->count++;
}

DrawContext& DrawContext::operator=(const DrawContext& other)
{
    if (other.record)
        other.record->count++; // first, so that self-assignment is safe
    release();
    record = other.record;
    return *this;
}

void DrawContext::openFresh(int32_t kind, HWND window, HDC other)
{
    release();
    DrawRecord* fresh = new (std::nothrow) DrawRecord();
    if (!fresh)
        throw MemoryError();
    fresh->count = 1;
    fresh->kind = kind;
    fresh->window = window;
    fresh->lineHeight = -1;
    const wchar_t* call;
    switch (kind) {
    case WindowDCKind:
        fresh->dc = GetDC(window);
        call = L"GetDC";
        break;
    case PaintDCKind:
        fresh->dc = BeginPaint(window, &fresh->paint);
        call = L"BeginPaint";
        break;
    default:
        fresh->dc = CreateCompatibleDC(other);
        call = L"CreateCompatibleDC";
        break;
    }
    if (!fresh->dc) {
        DWORD code = GetLastError();
        delete fresh;
        ThrowWinError(code, nullptr, call);
    }
    record = fresh;
}

void DrawContext::openWindowDC(HWND window)
{
    openFresh(WindowDCKind, window, nullptr);
}

void DrawContext::openPaintDC(HWND window)
{
    openFresh(PaintDCKind, window, nullptr);
}

void DrawContext::openMemoryDC(const DrawContext* other)
{
    openFresh(MemoryDCKind, nullptr, other ? other->dc() : nullptr);
}

// Selects back what a selection replaced and lets the selected object go.
static void Unselect(HDC dc, HGDIOBJ& previous, GdiObj& selected)
{
    if (previous) {
        SelectObject(dc, previous);
        previous = nullptr;
    }
    selected.reset();
}

static void UnselectFont(DrawRecord* record)
{
    Unselect(record->dc, record->previousFont, record->font);
    record->lineHeight = -1;
}

void DrawContext::selectFont(const GdiObj& font)
{
    if (!record || !record->dc)
        return;
    if (!record->font.isNull() && record->font.handle() == font.handle())
        return;
    UnselectFont(record);
    if (font.isNull())
        return;
    record->font = font;
    record->previousFont = SelectObject(record->dc, font.handle());
}

void DrawContext::selectFontHandle(HFONT font)
{
    if (!record || !record->dc)
        return;
    UnselectFont(record);
    if (font)
        record->previousFont = SelectObject(record->dc, font);
}

void DrawContext::selectBlackBrush()
{
    selectSolidBrush(RGB(0, 0, 0));
}

void DrawContext::selectSolidBrush(COLORREF colour)
{
    if (!record || !record->dc)
        return;
    GdiObj solid;
    solid.makeSolidBrush(colour);
    Unselect(record->dc, record->previousBrush, record->brush);
    record->brush = solid;
    record->previousBrush = SelectObject(record->dc, solid.handle());
}

void DrawContext::selectNullPen()
{
    if (!record || !record->dc)
        return;
    GdiObj none;
    none.makeNullPen();
    Unselect(record->dc, record->previousPen, record->pen);
    record->pen = none;
    record->previousPen = SelectObject(record->dc, none.handle());
}

void DrawContext::textOut(int32_t x, int32_t y, const wchar_t* text, int64_t length)
{
    int32_t count = CheckInt(length);
    if (record && record->dc)
        ExtTextOutW(record->dc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}

SIZE DrawContext::textExtent(const wchar_t* text, int64_t length)
{
    int32_t count = CheckInt(length);
    SIZE size = {CheckInt(10 * static_cast<int64_t>(count)), 20};
    if (record && record->dc) {
        SIZE measured;
        if (GetTextExtentPoint32W(record->dc, text, count, &measured))
            size = measured;
    }
    return size;
}

int32_t DrawContext::lineHeight()
{
    if (!record)
        return 20;
    if (record->lineHeight == -1) {
        SIZE size = {20, 20};
        if (record->dc)
            GetTextExtentPoint32W(record->dc, L"Wy", 2, &size);
        record->lineHeight = size.cy;
    }
    return record->lineHeight;
}

SIZE DrawContext::multiLineExtent(const wchar_t* text, int64_t length)
{
    SIZE extent = {0, 0};
    int64_t lines = 0;
    int64_t start = 0;
    while (start < length) {
        int64_t end = start;
        while (end < length && text[end] != L'\r' && text[end] != L'\n')
            end++;
        SIZE line = textExtent(text + start, end - start);
        if (line.cx > extent.cx)
            extent.cx = line.cx;
        lines++;
        if (end < length && text[end] == L'\r' && end + 1 < length && text[end + 1] == L'\n')
            end++;
        start = end + 1;
    }
    extent.cy = CheckInt(lines * (record ? lineHeight() : 20));
    return extent;
}

Str DrawContext::textFace()
{
    if (!record || !record->dc)
        return Str();
    int needed = GetTextFaceW(record->dc, 0, nullptr);
    if (needed <= 1)
        return Str();
    Str face = Str::Allocate(needed - 1);
    int copied = GetTextFaceW(record->dc, needed, face.bufferForFilling());
    if (copied <= 0)
        return Str();
    if (copied < needed - 1)
        return Str(face.text(), copied);
    return face;
}

static void ToVertex(TRIVERTEX& vertex, LONG x, LONG y, COLORREF colour)
{
    vertex.x = x;
    vertex.y = y;
    vertex.Red = static_cast<COLOR16>(GetRValue(colour) * 257);
    vertex.Green = static_cast<COLOR16>(GetGValue(colour) * 257);
    vertex.Blue = static_cast<COLOR16>(GetBValue(colour) * 257);
    vertex.Alpha = 0;
}

void DrawContext::gradientFill(const RECT& rectangle, int32_t direction, COLORREF start, COLORREF end)
{
    if (!record || !record->dc)
        return;
    TRIVERTEX vertices[2];
    ToVertex(vertices[0], rectangle.left, rectangle.top, start);
    ToVertex(vertices[1], rectangle.right, rectangle.bottom, end);
    GRADIENT_RECT joined = {0, 1};
    // gdi32's own entry point: importing msimg32 would let a planted DLL of that name load.
    GdiGradientFill(record->dc, vertices, 2, &joined, 1,
                    direction == 1 ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

void DrawContext::fillSolid(const RECT& rectangle, COLORREF colour)
{
    if (!record || !record->dc)
        return;
    SetBkColor(record->dc, colour);
    ExtTextOutW(record->dc, 0, 0, ETO_OPAQUE, &rectangle, nullptr, 0, nullptr);
}

void DrawContext::release()
{
    DrawRecord* old = record;
    record = nullptr;
    if (!old || --old->count > 0)
        return;
    if (old->dc) {
        UnselectFont(old);
        Unselect(old->dc, old->previousBrush, old->brush);
        Unselect(old->dc, old->previousPen, old->pen);
        switch (old->kind) {
        case WindowDCKind:
            ReleaseDC(old->window, old->dc);
            break;
        case PaintDCKind:
            EndPaint(old->window, &old->paint);
            break;
        default:
            DeleteDC(old->dc);
            break;
        }
        old->dc = nullptr;
    }
    delete old;
}
