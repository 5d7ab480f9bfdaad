#include "doctest.h"

#include "core/Error.h"
#include "gui/Color.h"
#include "gui/Dpi.h"
#include "gui/DrawContext.h"
#include "gui/GdiObj.h"

#include <windows.h>

#include <initializer_list>

// A top-level window whose DC keeps its state between GetDC calls (CS_OWNDC), so that a test can
// see what a released context left selected.
struct OwnDCWindow {
    OwnDCWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"Test Own DC";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"Test Own DC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    ~OwnDCWindow() { DestroyWindow(window); }
    HGDIOBJ selectedFont() const
    {
        HDC dc = GetDC(window);
        HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
        ReleaseDC(window, dc);
        return font;
    }
    HWND window;
};

static GdiObj ArialFont(int height)
{
    LOGFONTW description = {};
    description.lfHeight = height;
    lstrcpyW(description.lfFaceName, L"Arial");
    GdiObj font;
    font.makeFont(&description);
    return font;
}

TEST_SUITE("drawing") {

TEST_CASE("GdiObj copies share one record and the last holder deletes the object")
{
    GdiObj brush;
    CHECK(brush.isNull());
    brush.makeSolidBrush(RGB(10, 20, 30));
    REQUIRE(!brush.isNull());
    HGDIOBJ handle = brush.handle();
    CHECK(GetObjectType(handle) == OBJ_BRUSH);
    {
        GdiObj copy = brush;
        CHECK(copy.handle() == handle);
        CHECK(brush.shareCount() == 2);
        copy = copy; // self-assignment keeps the record
        CHECK(brush.shareCount() == 2);
    }
    CHECK(brush.shareCount() == 1);
    brush.makeNullPen(); // the brush record was the last holder
    CHECK(GetObjectType(handle) == 0);
    CHECK(GetObjectType(brush.handle()) == OBJ_PEN);

    // a creator that fails leaves the old object in place
    DrawContext none;
    HGDIOBJ pen = brush.handle();
    CHECK_THROWS_AS(brush.makeCompatibleBitmap(none, 10, 10), InternalError);
    CHECK(brush.handle() == pen);
}

TEST_CASE("the stock GUI font and a bold face font")
{
    GdiObj stock;
    stock.makeFont(nullptr);
    CHECK(stock.handle() == GetStockObject(DEFAULT_GUI_FONT));
    stock.reset(); // deleting a stock object is harmless
    CHECK(GetObjectType(GetStockObject(DEFAULT_GUI_FONT)) == OBJ_FONT);

    GdiObj bold;
    bold.makeBoldFont(L"Arial", -16);
    LOGFONTW description = {};
    REQUIRE(GetObjectW(bold.handle(), sizeof description, &description) == sizeof description);
    CHECK(description.lfWeight == FW_BOLD);
    CHECK(description.lfHeight == -16);
}

TEST_CASE("releasing a context selects back the font the DC had before")
{
    OwnDCWindow window;
    HGDIOBJ original = window.selectedFont();
    GdiObj font = ArialFont(-20);
    {
        DrawContext context;
        context.openWindowDC(window.window);
        context.selectFont(font);
        CHECK(GetCurrentObject(context.dc(), OBJ_FONT) == font.handle());
        CHECK(font.shareCount() == 2); // the context keeps it alive while selected
        DrawContext copy = context;
        copy.release(); // another holder remains: nothing is unselected
        CHECK(GetCurrentObject(context.dc(), OBJ_FONT) == font.handle());
    }
    CHECK(window.selectedFont() == original);
    CHECK(font.shareCount() == 1);
}

TEST_CASE("selecting the selected font again keeps the first selection's restore point")
{
    OwnDCWindow window;
    HGDIOBJ original = window.selectedFont();
    GdiObj font = ArialFont(-20);
    GdiObj other = ArialFont(-30);
    {
        DrawContext context;
        context.openWindowDC(window.window);
        context.selectFont(font);
        int32_t height = context.lineHeight();
        context.selectFont(font);
        CHECK(context.lineHeight() == height);
        context.selectFont(other);
        CHECK(context.lineHeight() > height); // measured again for the new font
        context.selectFontHandle(static_cast<HFONT>(font.handle()));
        CHECK(other.shareCount() == 1);
        CHECK(GetCurrentObject(context.dc(), OBJ_FONT) == font.handle());
    }
    CHECK(window.selectedFont() == original);
}

TEST_CASE("text measuring, with and without a DC")
{
    DrawContext none;
    SIZE preset = none.textExtent(L"abcd", 4);
    CHECK(preset.cx == 40);
    CHECK(preset.cy == 20);
    CHECK(none.multiLineExtent(L"ab\ncde", 6).cx == 30);
    CHECK(none.multiLineExtent(L"ab\ncde", 6).cy == 40);

    DrawContext screen;
    screen.openMemoryDC(nullptr);
    screen.selectFont(ArialFont(-20));
    int32_t line = screen.lineHeight();
    CHECK(line > 10);
    SIZE one = screen.textExtent(L"x", 1);
    SIZE two = screen.multiLineExtent(L"x\r\nxx", 5);
    CHECK(two.cy == 2 * line);
    CHECK(two.cx == screen.textExtent(L"xx", 2).cx);
    CHECK(screen.multiLineExtent(L"x\ry", 3).cy == 2 * line);
    CHECK(screen.multiLineExtent(L"x\n\ny", 4).cy == 3 * line); // an empty line between
    SIZE trailing = screen.multiLineExtent(L"x\n", 2);
    CHECK(trailing.cy == line);
    CHECK(trailing.cx == one.cx);
    SIZE lone = screen.multiLineExtent(L"\n", 1);
    CHECK(lone.cy == line);
    CHECK(lone.cx == 0);
    SIZE empty = screen.multiLineExtent(L"", 0);
    CHECK(empty.cx == 0);
    CHECK(empty.cy == 0);
    Str face = screen.textFace(); // Arial or the system's substitute for it
    CHECK(!face.isEmpty());
    CHECK(face.length() == TextLength(face.text()));
    CHECK_THROWS_AS(screen.textExtent(L"x", int64_t(1) << 31), CheckFailed);
}

TEST_CASE("gradients run left to right for direction 1 and top to bottom otherwise")
{
    DrawContext screen;
    screen.openWindowDC(nullptr);
    DrawContext memory;
    memory.openMemoryDC(&screen);
    GdiObj bitmap;
    bitmap.makeCompatibleBitmap(screen, 100, 100);
    HGDIOBJ previous = SelectObject(memory.dc(), bitmap.handle());
    RECT all = {0, 0, 100, 100};
    COLORREF red = RGB(255, 0, 0);
    COLORREF blue = RGB(0, 0, 255);

    memory.gradientFill(all, 1, red, blue);
    CHECK(GetPixel(memory.dc(), 0, 50) == red);
    CHECK(GetRValue(GetPixel(memory.dc(), 99, 50)) < 10);
    CHECK(GetPixel(memory.dc(), 50, 0) == GetPixel(memory.dc(), 50, 99));

    for (int direction : {0, 2}) {
        memory.fillSolid(all, RGB(0, 255, 0));
        memory.gradientFill(all, direction, red, blue);
        CHECK(GetPixel(memory.dc(), 50, 0) == red);
        CHECK(GetRValue(GetPixel(memory.dc(), 50, 99)) < 10);
        CHECK(GetPixel(memory.dc(), 0, 50) == GetPixel(memory.dc(), 99, 50));
    }
    SelectObject(memory.dc(), previous);
}

TEST_CASE("blending colours")
{
    CHECK(BlendColor(RGB(255, 255, 255), RGB(0, 0, 0), 80) == RGB(51, 51, 51));
    CHECK(BlendColor(RGB(1, 2, 3), RGB(200, 100, 50), 0) == RGB(1, 2, 3));
    CHECK(BlendColor(RGB(1, 2, 3), RGB(200, 100, 50), 100) == RGB(200, 100, 50));
    // each product is divided on its own: 99 * 50 / 100 + 1 * 50 / 100 = 49 + 0
    CHECK(GetRValue(BlendColor(RGB(99, 0, 0), RGB(1, 0, 0), 50)) == 49);
}

TEST_CASE("DPI and scaled icons")
{
    uint32_t screen = SystemDpi();
    CHECK(screen >= 96);
    CHECK(SystemDpi() == screen);

    HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    uint32_t first = MonitorDpi(monitor);
    CHECK(MonitorDpi(monitor) == first);
    CHECK((first == 0 || first >= 96));
    CHECK(DpiLibraryLoadCount() == 1); // looked up once for the run

    HICON icon = LoadScaledIcon(IDI_WARNING, 48, 48);
    if (icon) {
        ICONINFO info = {};
        REQUIRE(GetIconInfo(icon, &info));
        BITMAP picture = {};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof picture, &picture);
        CHECK(picture.bmWidth == 48);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

} // TEST_SUITE
