#include "doctest.h"

#include "gui/Dialog.h"
#include "gui/Dpi.h"
#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/Tooltip.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

static LOGFONTW FontOf(const GdiObj& font)
{
    LOGFONTW description = {};
    GetObjectW(font.handle(), sizeof description, &description);
    return description;
}

static bool InSystemMenu(HWND window, UINT command)
{
    return GetMenuState(GetSystemMenu(window, FALSE), command, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

TEST_SUITE("form") {

TEST_CASE("a form's window: class, tooltip, content and title")
{
    GuiContext context;
    Form form(FormMain, L"Main Test Form", nullptr, 12);
    CHECK(form.kind == KindForm);
    CHECK(form.id() == 12);
    CHECK(form.flags == 0);
    CHECK(!IsWindowVisible(form.hwnd));
    CHECK((GetWindowLongW(form.hwnd, GWL_STYLE) & WS_CLIPCHILDREN));
    CHECK((GetWindowLongW(form.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW));
    REQUIRE(form.tooltip != nullptr);
    CHECK(GetWindow(form.tooltip->hwnd, GW_OWNER) == form.hwnd);
    CHECK(form.tooltip->id() == TooltipFormId);
    CHECK(form.tooltip->tooltip == nullptr); // a tooltip has none of its own
    wchar_t name[64] = {};
    GetClassNameW(form.tooltip->hwnd, name, 64);
    CHECK(Str(name) == L"Lumivo Tooltip");

    form.setTitle(L"Title");
    CHECK(form.getText() == L"Title");

    ElasticGroup* content = new ElasticGroup(Vertical, &form);
    CHECK(form.content == content);
    CHECK_THROWS_AS(ElasticGroup(Vertical, &form), InternalError); // one content only
    CHECK(form.content == content);
    delete content;
    CHECK(form.content == nullptr);

    Form quiet(FormNoTooltip | FormBorder, L"Quiet Form", &form, 13);
    CHECK(quiet.tooltip == nullptr);
    CHECK(quiet.owner() == &form);
    CHECK(GetWindow(quiet.hwnd, GW_OWNER) == form.hwnd);
    CHECK((GetWindowLongW(quiet.hwnd, GWL_STYLE) & WS_POPUP));
    CHECK((GetWindowLongW(quiet.hwnd, GWL_STYLE) & WS_BORDER));
    CHECK(!quiet.dialogKeys);
}

TEST_CASE("a form without sizing commands trims its system menu and ignores them")
{
    GuiContext context;
    Form fixed(FormDialogFrame, L"Fixed Form", nullptr, 1);
    CHECK(!fixed.sizingCommands);
    CHECK(fixed.dialogKeys);
    CHECK(!InSystemMenu(fixed.hwnd, SC_RESTORE));
    CHECK(!InSystemMenu(fixed.hwnd, SC_SIZE));
    CHECK(!InSystemMenu(fixed.hwnd, SC_MINIMIZE));
    CHECK(!InSystemMenu(fixed.hwnd, SC_MAXIMIZE));
    CHECK(InSystemMenu(fixed.hwnd, SC_CLOSE));
    UINT second = GetMenuState(GetSystemMenu(fixed.hwnd, FALSE), 1, MF_BYPOSITION);
    CHECK((second == static_cast<UINT>(-1) || !(second & MF_SEPARATOR)));

    fixed.setBounds(100, 100, 300, 250);
    fixed.show();
    fixed.maximize();
    CHECK(!fixed.isMaximized());
    fixed.minimize();
    CHECK(!fixed.isMinimized());

    Form sizable(FormMain, L"Sizable Form", nullptr, 2);
    CHECK(sizable.sizingCommands);
    CHECK(InSystemMenu(sizable.hwnd, SC_MAXIMIZE));
    sizable.show();
    sizable.maximize();
    CHECK(sizable.isMaximized());
    sizable.restoreFromMaximized();
    CHECK(!sizable.isMaximized());
}

TEST_CASE("fonts follow the DPI and reach every follower")
{
    GuiContext context;
    Form form(FormMain, L"Font Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    NativeEdit* follower = new NativeEdit(group);
    NativeEdit* independent = new NativeEdit(group);
    follower->followFormFont();
    independent->followFormFont();
    CHECK(follower->followsFormFont);
    CHECK(form.fontFollowers.length() == 2);
    follower->followFormFont(); // twice: still one entry
    CHECK(form.fontFollowers.length() == 2);

    form.rebuildFonts(96);
    LOGFONTW at96 = FontOf(form.normalFont());
    CHECK(FontOf(form.boldFont()).lfWeight == FW_BOLD);
    CHECK(follower->send(WM_GETFONT, 0, 0) == reinterpret_cast<LRESULT>(form.normalFont().handle()));

    GdiObj own;
    own.makeBoldFont(L"Arial", -30);
    independent->setFont(own);
    CHECK(!independent->followsFormFont);
    CHECK(form.fontFollowers.length() == 1);

    form.heightAdjust = 5;
    form.rebuildFonts(144);
    CHECK(form.dpi() == 144);
    CHECK(form.buttonHeightAdjust() == 0);
    LOGFONTW at144 = FontOf(form.normalFont());
    CHECK(at144.lfHeight == MulDiv(at96.lfHeight, 144, 96));
    CHECK(FontOf(form.boldFont()).lfHeight == at144.lfHeight);
    CHECK(follower->send(WM_GETFONT, 0, 0) == reinterpret_cast<LRESULT>(form.normalFont().handle()));
    CHECK(independent->send(WM_GETFONT, 0, 0) == reinterpret_cast<LRESULT>(own.handle()));
    CHECK(follower->normalFont().handle() == form.normalFont().handle());

    delete follower; // a deleted control leaves the list
    CHECK(form.fontFollowers.length() == 0);

    form.setDpi(0); // measured again from the monitor
    CHECK(form.dpi() >= 96);
}

TEST_CASE("WM_DPICHANGED: the suggested rectangle within the limits, one layout at the end")
{
    GuiContext context;
    Form form(FormResizableDialog, L"Dpi Form", nullptr, 1);
    Probe* content = new Probe(&form, SizeLimits{100, 80, 500, 400});
    form.setBounds(50, 50, 350, 250);
    form.show();
    form.rebuildFonts(96);
    LOGFONTW before = FontOf(form.normalFont());
    RECT outer = form.windowRect();
    RECT inner = form.clientRect();
    int32_t frameWidth = (outer.right - outer.left) - inner.right;
    int32_t frameHeight = (outer.bottom - outer.top) - inner.bottom;
    int calls = content->boundsCalls;

    RECT suggested = {100, 100, 900, 400}; // 800 wide: more than the maximum
    form.send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    CHECK(form.dpiValue == 144);
    CHECK(FontOf(form.normalFont()).lfHeight == MulDiv(before.lfHeight, 144, 96));
    int32_t width = 500 + frameWidth;
    RECT placed = form.windowRect();
    CHECK(placed.left == 100 + (800 - width) / 2);
    CHECK(placed.right - placed.left == width);
    CHECK(placed.top == 100);
    CHECK(placed.bottom == 400);
    CHECK(content->boundsCalls == calls + 1);
    RECT client = form.clientRect();
    CHECK(content->bounds.right == client.right);
    CHECK(content->bounds.bottom == client.bottom);

    RECT tiny = {200, 200, 210, 210}; // smaller than the minimum: grows around its centre
    form.send(WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&tiny));
    placed = form.windowRect();
    CHECK(placed.right - placed.left == 100 + frameWidth);
    CHECK(placed.bottom - placed.top == 80 + frameHeight);
    CHECK(placed.left == 200 + (10 - (100 + frameWidth)) / 2);
    CHECK(form.content == content);
}

TEST_CASE("size limits add the frame, also while minimized")
{
    GuiContext context;
    Form form(FormMain, L"Limits Form", nullptr, 1);
    new Probe(&form, SizeLimits{100, 80, 500, 400});
    form.setBounds(50, 50, 350, 250);
    form.show();
    SizeLimits normal = form.sizeLimits();
    RECT outer = form.windowRect();
    RECT inner = form.clientRect();
    CHECK(normal.minWidth == 100 + (outer.right - outer.left) - inner.right);
    CHECK(normal.maxHeight == 400 + (outer.bottom - outer.top) - inner.bottom);

    MINMAXINFO info = {};
    form.send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    CHECK(info.ptMinTrackSize.x == normal.minWidth);
    CHECK(info.ptMaxTrackSize.y == normal.maxHeight);

    form.minimize();
    REQUIRE(form.isMinimized());
    if (form.windowRect().left <= -30000) {
        SizeLimits minimized = form.sizeLimits();
        CHECK(minimized.minWidth == normal.minWidth);
        CHECK(minimized.minHeight == normal.minHeight);
        CHECK(minimized.maxWidth == normal.maxWidth);
    }

    // Where Windows puts a minimized window (Wine's desktop keeps it in view as an icon): the
    // frame is computed, at the screen's DPI, not taken from the window.
    form.restoreFromMinimized();
    form.setBounds(-32000, -32000, -32000 + (outer.right - outer.left), -32000 + (outer.bottom - outer.top));
    REQUIRE(form.windowRect().left == -32000);
    SizeLimits away = form.sizeLimits();
    CHECK(away.minWidth == normal.minWidth);
    CHECK(away.minHeight == normal.minHeight);
    CHECK(away.maxHeight == normal.maxHeight);
}

TEST_CASE("the focus comes back after deactivation unless the control was destroyed")
{
    GuiContext context;
    Form form(FormMain, L"Focus Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    NativeEdit* first = new NativeEdit(group);
    NativeEdit* second = new NativeEdit(group);
    form.setBounds(100, 100, 400, 300);
    form.show();
    first->show();
    second->show();
    form.activate();

    first->setFocus();
    REQUIRE(first->hasFocus());
    form.send(WM_ACTIVATE, WA_INACTIVE, 0);
    CHECK(form.focusMemory == first);
    second->setFocus();
    form.send(WM_ACTIVATE, WA_ACTIVE, 0);
    CHECK(first->hasFocus());

    // being minimized does not move the memory
    second->setFocus();
    form.send(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    CHECK(form.focusMemory == first);

    // a control whose window is gone gets no focus: the form takes it
    first->destroyWindow();
    form.send(WM_ACTIVATE, WA_ACTIVE, 0);
    CHECK(GetFocus() == form.hwnd);

    // a deleted control is forgotten at once
    second->setFocus();
    form.send(WM_ACTIVATE, WA_INACTIVE, 0);
    CHECK(form.focusMemory == second);
    delete second;
    CHECK(form.focusMemory == nullptr);
    form.send(WM_ACTIVATE, WA_ACTIVE, 0);
    CHECK(GetFocus() == form.hwnd);
}

TEST_CASE("modal state, menus and icons without resources")
{
    GuiContext context;
    Form form(FormMain, L"State Form", nullptr, 1);
    Form other(FormNoTooltip, L"State Other", nullptr, 2);
    form.disableForModal(&other);
    CHECK(form.isDisabledByModal());
    CHECK(!IsWindowEnabled(form.hwnd));
    form.enableAfterModal(&form); // not the one that disabled it
    CHECK(!IsWindowEnabled(form.hwnd));
    form.enableAfterModal(&other);
    CHECK(IsWindowEnabled(form.hwnd));
    CHECK(form.modalChild() == nullptr);

    CHECK(!form.isMenuChecked(5)); // no menu
    form.checkMenuItem(5);
    // the test program has no icon, menu or accelerator resources
    CHECK_THROWS_AS(form.loadIcon(101), Error);
    CHECK_THROWS_AS(form.loadMenu(101), Error);
    CHECK_THROWS_AS(form.loadAccelerators(101), Error);
}

} // TEST_SUITE
