// The installer's windows at 100, 150 and 200 %: what a user would see clipped, overlapping or
// blurred. The windows follow a DPI change the way they do on a monitor of another scale.
#include "doctest.h"

#include "gui/Dpi.h"
#include "gui/Form.h"
#include "gui/WindowRegistry.h"
#include "installer/LicenceDialog.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"
#include "support/ModalHelper.h"
#include "tests/app/AppScene.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const uint32_t Scales[] = {96, 144, 192};

// Moves the form to the DPI as Windows does when it reaches a monitor of that scale.
void ChangeDpi(Form& form, uint32_t dpi)
{
    RECT now = form.windowRect();
    uint32_t old = form.dpi();
    RECT suggested = {now.left, now.top, now.left + MulDiv(now.right - now.left, dpi, old),
                      now.top + MulDiv(now.bottom - now.top, dpi, old)};
    form.send(WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

std::vector<HWND> VisibleChildren(HWND window)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child))
            children.push_back(child);
    return children;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    return name;
}

// The caption's size as the control draws it: its font, its mnemonic underline taken out.
SIZE DrawnCaption(HWND control)
{
    std::wstring text = WindowText(control);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT bounds = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return SIZE{bounds.right, bounds.bottom};
}

// Every caption fits its control (a check box keeps room for its box), and every control lies
// inside the window and clear of the others.
void CheckCaptionsFit(HWND window, uint32_t dpi)
{
    RECT client;
    GetClientRect(window, &client);
    std::vector<HWND> children = VisibleChildren(window);
    REQUIRE(!children.empty());
    for (size_t i = 0; i < children.size(); i++) {
        HWND child = children[i];
        std::wstring text = WindowText(child);
        CAPTURE(text);
        RECT area;
        GetClientRect(child, &area);
        std::wstring kind = ClassOf(child);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (!text.empty() && (kind == L"Button" || kind == L"Static")) {
            SIZE caption = DrawnCaption(child);
            int32_t room = area.right;
            if (kind == L"Button" && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
                room -= MulDiv(GetSystemMetrics(SM_CXMENUCHECK), dpi, SystemDpi()) + MulDiv(3, dpi, 96);
            else if (kind == L"Button")
                room -= 2 * MulDiv(3, dpi, 96); // the button's edge and its focus rectangle
            CHECK(caption.cx <= room);
            CHECK(caption.cy <= area.bottom);
        }
        RECT placed;
        GetWindowRect(child, &placed);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
        CHECK(placed.left >= 0);
        CHECK(placed.top >= 0);
        CHECK(placed.right <= client.right);
        CHECK(placed.bottom <= client.bottom);
        for (size_t k = i + 1; k < children.size(); k++) {
            RECT other, overlap;
            GetWindowRect(children[k], &other);
            GetWindowRect(child, &placed);
            CHECK_FALSE(IntersectRect(&overlap, &placed, &other));
        }
    }
}

// The box of the pixels that differ from the banner's white in the logo's corner of the banner.
RECT DrawnLogo(MainForm& form)
{
    form.invalidate();
    form.update();
    int32_t banner = form.scaled(60);
    int32_t corner = form.scaled(56);
    RECT box = {corner, banner, -1, -1};
    HDC dc = GetDC(form.handle());
    for (int y = 0; y < banner; y++)
        for (int x = 0; x < corner; x++) {
            COLORREF pixel = GetPixel(dc, x, y);
            if (GetRValue(pixel) > 240 && GetGValue(pixel) > 240 && GetBValue(pixel) > 240)
                continue;
            box.left = std::min<LONG>(box.left, x);
            box.top = std::min<LONG>(box.top, y);
            box.right = std::max<LONG>(box.right, x + 1);
            box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    ReleaseDC(form.handle(), dc);
    return box;
}

int32_t IconSide(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

} // namespace

TEST_SUITE("scale") {

TEST_CASE("the main form at 100, 150 and 200 %: captions whole, logo and icons at the scale")
{
    AppScene scene;
    Script.desktopText = L"yes";
    Script.offerAllUsers = true;
    for (int32_t language : {LangEnglish, LangPolish}) {
        Language = language;
        MainForm* form = new MainForm();
        for (uint32_t dpi : Scales) {
            CAPTURE(language);
            CAPTURE(dpi);
            ChangeDpi(*form, dpi);
            REQUIRE(form->dpi() == dpi);
            CheckCaptionsFit(form->handle(), dpi);

            // The logo is the icon's own image of the size, drawn where the banner has room for it.
            int32_t side = form->scaled(LogoSide);
            CHECK(form->logoSize == side);
            CHECK(IconSide(form->logoIcon.get()) == side);
            RECT logo = DrawnLogo(*form);
            CHECK(logo.left >= form->scaled(10));
            CHECK(logo.top >= form->scaled(10));
            CHECK(logo.right <= form->scaled(10) + side);
            CHECK(logo.bottom <= form->scaled(10) + side);
            CHECK(logo.right - logo.left >= side * 85 / 100); // the tile fills its image but the corners
            CHECK(logo.bottom - logo.top >= side * 85 / 100);

            // The window's icons were loaded again at the new size.
            int screen = static_cast<int>(SystemDpi());
            HICON big = reinterpret_cast<HICON>(form->send(WM_GETICON, ICON_BIG, 0));
            HICON small = reinterpret_cast<HICON>(form->send(WM_GETICON, ICON_SMALL, 0));
            CHECK(IconSide(big) == MulDiv(GetSystemMetrics(SM_CXICON), static_cast<int>(dpi), screen));
            CHECK(IconSide(small) == MulDiv(GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi), screen));

            // The Install button's big font follows as well.
            LOGFONTW headline = {};
            GetObjectW(form->headlineFont.font(), sizeof headline, &headline);
            CHECK(headline.lfHeight == MulDiv(24, static_cast<int>(dpi), 96));
            HWND install = GetDlgItem(form->handle(), CommandInstall);
            CHECK(reinterpret_cast<HFONT>(SendMessageW(install, WM_GETFONT, 0, 0)) ==
                  form->headlineFont.font());
        }
        delete form;
    }
}

TEST_CASE("the licence window at 100, 150 and 200 %: 500 pixels wide at 100 %, its button whole")
{
    AppScene scene;
    for (uint32_t dpi : Scales) {
        CAPTURE(dpi);
        int32_t width = 0;
        bool checked = false;
        RunInModalLoopUntil([&] {
            HWND window = ThreadWindow(L"Lumivo Dialog");
            if (!window)
                return false;
            Form* dialog = dynamic_cast<Form*>(FindWindowObject(window));
            REQUIRE(dialog != nullptr);
            ChangeDpi(*dialog, dpi);
            CheckCaptionsFit(window, dpi);
            RECT client;
            GetClientRect(window, &client);
            width = client.right;
            checked = true;
            PostMessageW(window, WM_COMMAND, IDOK, 0);
            return true;
        });
        RunLicenceDialog(nullptr, L"Licence", Str(L"First line\nsecond line\n"));
        REQUIRE(checked);
        CHECK(width >= MulDiv(500, static_cast<int>(dpi), 96) - 2 * GetSystemMetrics(SM_CXFIXEDFRAME) - 4);
    }
}

} // TEST_SUITE
