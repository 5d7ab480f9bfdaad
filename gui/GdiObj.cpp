#include "gui/GdiObj.h"

#include "core/Error.h"
#include "gui/DrawContext.h"

#include <new>

static void Share(GdiHandle* record)
{
    if (record && record->count != -1)
        record->count++;
}

static void Drop(GdiHandle* record)
{
    if (record && record->count != -1 && --record->count == 0) {
        DeleteObject(record->handle); // stock objects ignore this
        delete record;
    }
}

GdiObj::GdiObj(const GdiObj& other) : record(other.record)
{
    Share(record);
}

GdiObj& GdiObj::operator=(const GdiObj& other)
{
    Share(other.record); // first, so that self-assignment is safe
    Drop(record);
    record = other.record;
    return *this;
}

GdiObj::~GdiObj()
{
    Drop(record);
}

void GdiObj::reset()
{
    GdiHandle* old = record;
    record = nullptr;
    Drop(old);
}

void GdiObj::adopt(HGDIOBJ created, const wchar_t* call)
{
    if (!created)
        ThrowLastError(nullptr, call); // GDI calls mostly leave no code: the call's name tells
    GdiHandle* fresh = new (std::nothrow) GdiHandle{1, created};
    if (!fresh) {
        DeleteObject(created);
        throw MemoryError();
    }
    Drop(record);
    record = fresh;
}

void GdiObj::makeSolidBrush(COLORREF colour)
{
    LOGBRUSH brush = {BS_SOLID, colour, 0};
    adopt(CreateBrushIndirect(&brush), L"CreateBrushIndirect");
}

void GdiObj::makeNullPen()
{
    adopt(CreatePen(PS_NULL, 0, 0), L"CreatePen");
}

void GdiObj::makeCompatibleBitmap(const DrawContext& context, int32_t width, int32_t height)
{
    if (!context.dc())
        throw InternalError();
    adopt(CreateCompatibleBitmap(context.dc(), width, height), L"CreateCompatibleBitmap");
}

void GdiObj::makeBoldFont(const wchar_t* faceName, int32_t height)
{
    adopt(CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, faceName),
          L"CreateFontW");
}

void GdiObj::makeFont(const LOGFONTW* logFont)
{
    adopt(logFont ? CreateFontIndirectW(logFont) : GetStockObject(DEFAULT_GUI_FONT),
          logFont ? L"CreateFontIndirectW" : L"GetStockObject");
}
