// GdiObj: a font, brush, pen or bitmap shared through one counted record; the last holder to let
// go deletes the GDI object. Copying shares the record.
#ifndef LUMIVO_GUI_GDIOBJ_H
#define LUMIVO_GUI_GDIOBJ_H

#include <windows.h>

#include <stdint.h>

class DrawContext;

struct GdiHandle {
    int32_t count; // holders; -1: never counted or deleted
    HGDIOBJ handle;
};

class GdiObj {
public:
    GdiObj() : record(nullptr) {}
    GdiObj(const GdiObj& other);
    GdiObj& operator=(const GdiObj& other);
    virtual ~GdiObj();

    // The shared GDI object, or null.
    HGDIOBJ handle() const { return record ? record->handle : nullptr; }
    HFONT font() const { return static_cast<HFONT>(handle()); }
    HBRUSH brush() const { return static_cast<HBRUSH>(handle()); }
    HBITMAP bitmap() const { return static_cast<HBITMAP>(handle()); }
    bool isNull() const { return !record; }
    // Holders of the record, 0 without one (for tests and diagnostics).
    int32_t shareCount() const { return record ? record->count : 0; }

    // Lets go of the record; the last holder deletes the object.
    void reset();

    // The creators replace what the GdiObj held; when the system call fails the old object stays
    // and the failure is thrown (WinError, or MemoryError).
    void makeSolidBrush(COLORREF colour);
    void makeNullPen();
    void makeCompatibleBitmap(const DrawContext& context, int32_t width, int32_t height);
    void makeBoldFont(const wchar_t* faceName, int32_t height);
    // From the LOGFONTW, or the stock DEFAULT_GUI_FONT when there is none.
    void makeFont(const LOGFONTW* logFont);

private:
    // Takes ownership of a freshly created object (null: the creator failed, GetLastError tells).
    void adopt(HGDIOBJ created, const wchar_t* call);

    GdiHandle* record;
};

#endif
