#include "doctest.h"

#include "gui/Button.h"
#include "gui/Color.h"
#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/MessageLoop.h"
#include "gui/Space.h"
#include "gui/Tooltip.h"
#include "gui/WorkArea.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

#include <string>

// The mouse position the tooltips of these tests read: the X server moves the real pointer in its
// own time.
static POINT Cursor = {0, 0};
static bool CursorReadable = true;

static BOOL WINAPI ReadTestCursor(LPPOINT point)
{
    *point = Cursor;
    return CursorReadable;
}

// A shown, active form with one button that has a tip text. The tooltip's own timer is stopped:
// the tests drive its ticks and the cursor themselves.
struct TipForm {
    explicit TipForm(RECT bounds = RECT{100, 100, 500, 300}, const wchar_t* tipText = L"Tip text")
        : form(FormMain, L"Tip Form", nullptr, 1)
    {
        ElasticGroup* group = new ElasticGroup(Vertical, &form);
        button = new Button(group, L"Hover", 60, tipText);
        new Space(group);
        form.setBoundsRect(bounds);
        form.show();
        SetForegroundWindow(form.hwnd);
        form.activate();
        tip = form.tooltip;
        KillTimer(tip->hwnd, tip->timerId);
        tip->readCursor = ReadTestCursor;
        CursorReadable = true;
        LastMouseKeys = 0;
        LastMousePoint = POINT{-10000, -10000};
        LastInputFromKeyboard = false;
        RECT where = button->windowRect();
        centre = POINT{(where.left + where.right) / 2, (where.top + where.bottom) / 2};
        moveTo(centre);
    }
    ~TipForm()
    {
        LastMouseKeys = 0;
        LastMousePoint = POINT{-10000, -10000};
    }
    // A length in pixels at 96 DPI at the form's DPI.
    int32_t s(int32_t pixels) { return form.scaled(pixels); }
    void moveTo(POINT point) { Cursor = point; }
    void moveBy(int dx, int dy) { moveTo(POINT{centre.x + dx, centre.y + dy}); }
    void tick(int count = 1)
    {
        for (int i = 0; i < count; i++) {
            MessageRecord record = {tip->hwnd, WM_TIMER, TooltipTimerId, 0, 0};
            tip->onTimer(record);
        }
    }
    // After the tick that noted the rest: the tip shows on the eleventh tick, not before.
    void restUntilShown()
    {
        tick(10);
        REQUIRE(!tip->isShown());
        tick();
        REQUIRE(tip->isShown());
    }
    bool visible() { return tip->isShown() && IsWindowVisible(tip->hwnd); }

    GuiContext context;
    Form form;
    Button* button;
    Tooltip* tip;
    POINT centre;
};

// The colour of a pixel of the tip's client area, as drawn.
static COLORREF PixelAt(Tooltip* tip, int x, int y)
{
    HDC dc = GetDC(tip->hwnd);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(tip->hwnd, dc);
    return colour;
}

static bool HasDarkPixel(Tooltip* tip, RECT area)
{
    HDC dc = GetDC(tip->hwnd);
    bool found = false;
    for (int y = area.top; y < area.bottom && !found; y++)
        for (int x = area.left; x < area.right && !found; x++)
            found = (GetPixel(dc, x, y) & 0xFFFFFF) == 0;
    ReleaseDC(tip->hwnd, dc);
    return found;
}

static int32_t LineHeightOf(Tooltip* tip)
{
    DrawContext context = tip->windowDC();
    context.selectFont(tip->normalFont());
    return context.lineHeight();
}

TEST_SUITE("tooltip") {

TEST_CASE("a tip shows after the rest ticks, stays within 2 pixels (at 96 DPI) and goes at 3")
{
    TipForm tipForm;
    Tooltip* tip = tipForm.tip;
    tipForm.tick(); // notes the rest
    CHECK(tip->resting);
    CHECK(tip->restTicks == 0);
    tipForm.tick(10);
    CHECK(tip->restTicks == 10);
    CHECK(!tipForm.visible());
    tipForm.tick();
    REQUIRE(tipForm.visible());
    CHECK(tip->text == L"Tip text");
    CHECK(OpenPopup == tip->hwnd);
    CHECK(GetActiveWindow() == tipForm.form.hwnd); // the tip never takes the activation
    CHECK(tip->placedRight);
    CHECK(tip->placedBelow);
    RECT placed = tip->windowRect();
    CHECK(placed.left == tipForm.centre.x + tipForm.s(8));
    CHECK(placed.top == tipForm.centre.y + tipForm.s(8));

    int32_t tolerance = tipForm.s(2);
    tipForm.moveBy(tolerance, -tolerance);
    tipForm.tick(5);
    CHECK(tipForm.visible());
    CHECK(tip->restPoint.x == tipForm.centre.x);

    tipForm.moveBy(tolerance + 1, 0);
    tipForm.tick();
    CHECK(!tipForm.visible());
    CHECK(OpenPopup == nullptr);
    CHECK(tip->restTicks == 0);
    CHECK(tip->restPoint.x == tipForm.centre.x + tolerance + 1);
    // resting at the new spot shows the tip again
    tipForm.restUntilShown();
}

TEST_CASE("held keys, an inactive or disabled owner and a control without text give no tip")
{
    TipForm tipForm;
    LastMouseKeys = MK_SHIFT;
    tipForm.tick(30);
    CHECK(!tipForm.visible());
    CHECK(!tipForm.tip->resting);
    LastMouseKeys = 0;

    tipForm.tick();
    tipForm.restUntilShown();
    tipForm.form.disableForModal(&tipForm.form);
    tipForm.tick();
    CHECK(!tipForm.visible());
    CHECK(!tipForm.tip->resting);
    tipForm.form.enableAfterModal(&tipForm.form);
    SetForegroundWindow(tipForm.form.hwnd);
    tipForm.form.activate();

    tipForm.button->setTooltip(L"");
    tipForm.tick(30);
    CHECK(!tipForm.visible());

    tipForm.button->setTooltip(L"Back");
    tipForm.tick(3);
    CursorReadable = false; // no position: the rest is forgotten
    tipForm.tick();
    CHECK(!tipForm.tip->resting);
    CHECK(tipForm.tip->restTicks == 0);
    CursorReadable = true;
}

TEST_CASE("no tip while the cursor stays within 2 pixels of the last click")
{
    TipForm tipForm;
    LastMousePoint = POINT{tipForm.centre.x + tipForm.s(2), tipForm.centre.y - 1};
    tipForm.tick(40);
    CHECK(!tipForm.visible());
    tipForm.moveBy(-tipForm.s(6), 0);
    tipForm.tick();
    tipForm.restUntilShown();
}

TEST_CASE("a key closes the tip through the loop, and it stays away from that spot")
{
    TipForm tipForm;
    tipForm.tick();
    tipForm.restUntilShown();
    PostMessageW(tipForm.button->hwnd, WM_KEYDOWN, VK_SHIFT, 0);
    tipForm.form.pumpMessages();
    CHECK(!tipForm.visible());
    CHECK(OpenPopup == nullptr);
    CHECK(tipForm.tip->hiddenAtValid);
    CHECK(IsWindow(tipForm.tip->hwnd)); // closing hides, the window stays
    tipForm.tick(40);
    CHECK(!tipForm.visible());

    tipForm.moveBy(tipForm.s(10), 0);
    tipForm.tick();
    tipForm.restUntilShown();
}

TEST_CASE("right of and below the cursor in the upper left half, with the strip and arrow there")
{
    TipForm tipForm;
    Tooltip* tip = tipForm.tip;
    tipForm.tick();
    tipForm.restUntilShown();
    RECT client = tip->clientRect();
    auto s = [&tipForm](int32_t pixels) { return tipForm.s(pixels); };
    CHECK(PixelAt(tip, s(10), client.bottom - 3) == RGB(255, 195, 135)); // the strip, below the arrow
    CHECK(PixelAt(tip, s(20) - 1, client.bottom - 3) == RGB(255, 195, 135));
    CHECK(PixelAt(tip, s(20), client.bottom - 3) == RGB(255, 255, 255));
    CHECK(PixelAt(tip, client.right - 3, client.bottom / 2) == RGB(255, 255, 255));
    CHECK(PixelAt(tip, s(5), s(5)) == RGB(0, 0, 0));   // the arrow's head, in the corner nearest the cursor
    CHECK(PixelAt(tip, s(11), s(11)) == RGB(0, 0, 0)); // its shaft
    CHECK(HasDarkPixel(tip, RECT{s(27), s(5), client.right - 2, client.bottom - 2})); // the text
    CHECK(!HasDarkPixel(tip, RECT{s(20), s(5), s(27) - 1, client.bottom - 2}));
}

TEST_CASE("left of and above the cursor in the lower right half; kept in the work area")
{
    RECT work = WorkAreaNear(RECT{0, 0, 1, 1});
    LONG midX = (work.left + work.right) / 2, midY = (work.top + work.bottom) / 2;
    TipForm tipForm(RECT{midX + 100, midY + 100, midX + 500, midY + 300});
    Tooltip* tip = tipForm.tip;
    tipForm.tick();
    tipForm.restUntilShown();
    CHECK(!tip->placedRight);
    CHECK(!tip->placedBelow);
    RECT placed = tip->windowRect();
    auto s = [&tipForm](int32_t pixels) { return tipForm.s(pixels); };
    CHECK(placed.right == tipForm.centre.x - s(8));
    CHECK(placed.bottom == tipForm.centre.y - s(8));
    RECT client = tip->clientRect();
    CHECK(PixelAt(tip, client.right - s(10), 3) == RGB(255, 195, 135)); // the strip, above the arrow
    CHECK(PixelAt(tip, 3, client.bottom / 2) == RGB(255, 255, 255));
    CHECK(PixelAt(tip, client.right - 1 - s(5), client.bottom - 1 - s(5)) == RGB(0, 0, 0));
    CHECK(HasDarkPixel(tip, RECT{s(7), s(5), client.right - s(20), client.bottom - 2}));

    // a text too wide for the room left of the cursor is moved into the work area
    tip->restPoint = POINT{work.right - 2, work.bottom - 2};
    tip->text = Str(std::wstring(400, L'W').c_str());
    tip->showTip();
    placed = tip->windowRect();
    CHECK(placed.left >= work.left);
    CHECK(placed.top >= work.top);
    CHECK(placed.right <= work.right);
    CHECK(placed.bottom <= work.bottom);
}

TEST_CASE("two lines: h + 17 pixels (at 96 DPI) high, the second line lineHeight + 3 below the first")
{
    TipForm tipForm(RECT{100, 100, 500, 300}, L"First line\nSecond line");
    Tooltip* tip = tipForm.tip;
    tipForm.tick();
    tipForm.restUntilShown();
    auto s = [&tipForm](int32_t pixels) { return tipForm.s(pixels); };
    int32_t line = LineHeightOf(tip);
    RECT placed = tip->windowRect();
    CHECK(placed.bottom - placed.top == 2 * line + s(3) + s(14));
    DrawContext measure = tip->windowDC();
    measure.selectFont(tip->normalFont());
    CHECK(placed.right - placed.left ==
          measure.multiLineExtent(tip->text.text(), tip->text.length()).cx + s(36));
    RECT client = tip->clientRect();
    int32_t second = s(5) + line + s(3);
    CHECK(HasDarkPixel(tip, RECT{s(27), s(5), client.right, s(5) + line}));
    CHECK(HasDarkPixel(tip, RECT{s(27), second, client.right, second + line}));
    CHECK(!HasDarkPixel(tip, RECT{s(27), second + line, client.right, client.bottom - 1}));
}

TEST_CASE("a tip that shows closes another open popup")
{
    TipForm tipForm;
    Form other(FormNoTooltip | FormBorder, L"Other Popup", nullptr, 2);
    other.showNoActivate(); // the tip's form stays active
    other.quit = false;
    OpenPopup = other.hwnd;
    tipForm.tick();
    tipForm.restUntilShown();
    CHECK(other.quit); // the WM_CLOSE of a form ends its loop
    CHECK(OpenPopup == tipForm.tip->hwnd);
}

TEST_CASE("the tip takes its owner's DPI: gap, width, strip and arrow grow with it")
{
    TipForm tipForm;
    Tooltip* tip = tipForm.tip;
    uint32_t before = tipForm.form.dpi();
    RECT bounds = tipForm.form.windowRect();
    tipForm.form.send(WM_DPICHANGED, MAKEWPARAM(2 * before, 2 * before), reinterpret_cast<LPARAM>(&bounds));
    REQUIRE(tipForm.form.dpi() == 2 * before);
    RECT where = tipForm.button->windowRect();
    tipForm.centre = POINT{(where.left + where.right) / 2, (where.top + where.bottom) / 2};
    tipForm.moveTo(tipForm.centre);
    tipForm.tick();
    tipForm.restUntilShown();
    CHECK(tip->dpi() == 2 * before);
    auto s = [&tipForm](int32_t pixels) { return tipForm.s(pixels); };
    RECT placed = tip->windowRect();
    CHECK(placed.left == tipForm.centre.x + s(8));
    CHECK(placed.top == tipForm.centre.y + s(8));
    RECT client = tip->clientRect();
    CHECK(PixelAt(tip, s(20) - 1, client.bottom - 2) == RGB(255, 195, 135));
    CHECK(PixelAt(tip, s(20) + 1, client.bottom - 2) == RGB(255, 255, 255));
    CHECK(PixelAt(tip, s(11), s(11)) == RGB(0, 0, 0));
    // the tolerance of a rest grows too: twice the 96-DPI pixels still rest
    tipForm.moveBy(s(2), 0);
    tipForm.tick(3);
    CHECK(tipForm.visible());
}

TEST_CASE("a control reached with the keyboard shows its tip under it; a click shows none")
{
    TipForm tipForm(RECT{100, 100, 500, 300});
    Button* second = new Button(static_cast<ControlGroup*>(tipForm.form.content), L"Second", 61, L"");
    tipForm.form.content->setBoundsRect(tipForm.form.clientRect());
    Tooltip* tip = tipForm.tip;
    second->setFocus();
    tipForm.form.enableDialogKeys();
    tipForm.tick(3); // the mouse rests on nothing with a tip: the focus tip is the only one
    REQUIRE(PressKey(tipForm.form, VK_TAB, {VK_SHIFT}));
    REQUIRE(GetFocus() == tipForm.button->hwnd);
    CHECK(LastInputFromKeyboard);
    tipForm.moveTo(POINT{tipForm.centre.x + 1000, tipForm.centre.y}); // the mouse lies elsewhere
    tipForm.tick();
    tipForm.tick();
    REQUIRE(tipForm.visible());
    CHECK(tip->focusTip);
    CHECK(tip->text == L"Tip text");
    RECT button = tipForm.button->windowRect();
    RECT placed = tip->windowRect();
    CHECK(placed.top == button.bottom + tipForm.s(8));
    CHECK(placed.left == (button.left + button.right) / 2 + tipForm.s(8));
    tipForm.tick(30);
    CHECK(tipForm.visible()); // it stays while the focus and the mouse stay

    // a key closes it, and it does not come back while the focus stays
    REQUIRE(PressKey(tipForm.form, VK_SHIFT));
    CHECK(!tipForm.visible());
    tipForm.tick(30);
    CHECK(!tipForm.visible());

    // Tab to the control without a tip and back: shown again
    REQUIRE(PressKey(tipForm.form, VK_TAB));
    REQUIRE(GetFocus() == second->hwnd);
    tipForm.tick(2);
    CHECK(!tipForm.visible());
    REQUIRE(PressKey(tipForm.form, VK_TAB));
    tipForm.tick(2);
    CHECK(tipForm.visible());
    // the mouse moving takes over
    tipForm.moveTo(POINT{tipForm.centre.x + 1100, tipForm.centre.y});
    tipForm.tick();
    CHECK(!tipForm.visible());

    // focused by a click: no tip
    second->setFocus();
    tipForm.tick();
    LastInputFromKeyboard = false; // what the loop notes for a button press
    tipForm.button->setFocus();
    tipForm.tick(3);
    CHECK(!tipForm.visible());
}

// A high-contrast theme with colours of its own. Wine has no high-contrast mode to switch on: the
// test answers the toolkit's question itself, and sets the system colours for real.
struct ContrastTheme {
    ContrastTheme()
    {
        for (int i = 0; i < 4; i++)
            saved[i] = GetSysColor(elements[i]);
        set = SetSysColors(4, elements, colours) != 0;
        previous = ReadHighContrast;
        ReadHighContrast = [] { return true; };
    }
    ~ContrastTheme()
    {
        ReadHighContrast = previous;
        SetSysColors(4, elements, saved);
    }
    int elements[4] = {COLOR_INFOBK, COLOR_INFOTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT};
    COLORREF colours[4] = {RGB(0, 0, 0), RGB(255, 255, 0), RGB(0, 255, 255), RGB(255, 0, 255)};
    COLORREF saved[4];
    bool set;
    HighContrastReader previous;
};

TEST_CASE("a high-contrast theme draws the tip in the system's tooltip and highlight colours")
{
    ContrastTheme theme;
    REQUIRE(theme.set);
    TipForm tipForm;
    Tooltip* tip = tipForm.tip;
    tipForm.tick();
    tipForm.restUntilShown();
    auto s = [&tipForm](int32_t pixels) { return tipForm.s(pixels); };
    RECT client = tip->clientRect();
    CHECK(PixelAt(tip, client.right - 3, client.bottom - 2) == RGB(0, 0, 0)); // the background
    CHECK(PixelAt(tip, s(10), client.bottom - 3) == RGB(0, 255, 255));        // the strip
    CHECK(PixelAt(tip, s(5), s(5)) == RGB(255, 0, 255));                      // the arrow
    bool textSeen = false; // yellow, or nearly so where the letters' edges are smoothed
    HDC dc = GetDC(tip->hwnd);
    for (int y = s(5); y < client.bottom - 2 && !textSeen; y++)
        for (int x = s(27); x < client.right - 2 && !textSeen; x++) {
            COLORREF pixel = GetPixel(dc, x, y);
            textSeen = GetRValue(pixel) > 160 && GetGValue(pixel) > 160 && GetBValue(pixel) < 80;
        }
    ReleaseDC(tip->hwnd, dc);
    CHECK(textSeen);
}

} // TEST_SUITE
