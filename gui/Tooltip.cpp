#include "gui/Tooltip.h"

#include "gui/Color.h"
#include "gui/MessageLoop.h"
#include "gui/WindowRegistry.h"
#include "gui/WorkArea.h"

#include <stdlib.h>

enum : COLORREF { StripColour = 0x87C3FF }; // RGB(255, 195, 135)

// Black on white with an orange strip; a high-contrast theme gets its own tooltip colours.
struct TipColours {
    COLORREF background;
    COLORREF text;
    COLORREF strip;
    COLORREF arrow;
};

static TipColours ColoursOfTheme()
{
    if (HighContrastOn())
        return TipColours{GetSysColor(COLOR_INFOBK), GetSysColor(COLOR_INFOTEXT),
                          GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_HIGHLIGHTTEXT)};
    return TipColours{RGB(255, 255, 255), RGB(0, 0, 0), StripColour, RGB(0, 0, 0)};
}

Tooltip::Tooltip(Form* owner) : ownerForm(owner)
{
    initForm(FormNoTooltip | FormBorder | FormDropShadow, L"Tooltip", owner, TooltipFormId);
    if (timerId == 0)
        timerId = SetTimer(hwnd, TooltipTimerId, TooltipTimerPeriod, nullptr);
}

Tooltip::~Tooltip()
{
    if (ownerForm)
        ownerForm->tooltipRemoved(this);
    text.release();
}

static bool Near(POINT a, POINT b, int32_t tolerance)
{
    return abs(a.x - b.x) <= tolerance && abs(a.y - b.y) <= tolerance;
}

void Tooltip::hideTip()
{
    if (!shown)
        return;
    hide();
    focusTip = false;
    hiddenAt = restPoint;
    hiddenAtValid = true;
    if (OpenPopup == hwnd)
        OpenPopup = nullptr;
}

void Tooltip::rearm(POINT point)
{
    // A shown tip is hidden first, so that the spot it leaves is the one it showed at, not the
    // one the mouse went to: resting there afterwards shows the next tip.
    hideTip();
    restPoint = point;
    resting = true;
    restTicks = 0;
}

void Tooltip::stopResting()
{
    resting = false;
    restTicks = 0;
}

void Tooltip::onTimer(MessageRecord& record)
{
    if (!ownerForm || LastMouseKeys != 0 || !ownerForm->isActive() || ownerForm->isDisabledByModal()) {
        stopResting();
        hideTip();
        return;
    }
    POINT cursor;
    if (!readCursor(&cursor)) {
        stopResting();
        return;
    }
    // The mouse moves as many device pixels at every scale: the tolerance grows with the DPI.
    int32_t tolerance = ownerForm->scaled(TooltipRestTolerance);
    if (focusTip) {
        // The focused control's tip stays until a key or a click closes it or the mouse moves.
        if (!Near(cursor, restPoint, tolerance))
            rearm(cursor);
        return;
    }
    if (followFocus(cursor))
        return;
    if (!resting || !Near(cursor, restPoint, tolerance)) {
        rearm(cursor);
        return;
    }
    if ((hiddenAtValid && Near(cursor, hiddenAt, tolerance)) || Near(cursor, LastMousePoint, tolerance)) {
        rearm(cursor);
        return;
    }
    if (restTicks < TooltipRestTicks) {
        restTicks++;
        return;
    }
    Str found;
    if (!ownerForm->tooltipAt(restPoint, found) || found.isEmpty()) {
        hideTip();
        restTicks = 0;
        return;
    }
    if (!(shown && text == found)) {
        text = found;
        showTip();
    }
}

// The control of the owner form that has the focus, or null.
static Control* FocusedControlOf(Form* form, HWND focused)
{
    GuiBase* object = FindWindowObject(focused);
    if (!object || object->kind != KindChild)
        return nullptr;
    Control* control = static_cast<Control*>(object);
    return control->form() == form ? control : nullptr;
}

bool Tooltip::followFocus(POINT cursor)
{
    HWND focused = GetFocus();
    if (focused == focusSeen)
        return false;
    focusSeen = focused;
    if (!LastInputFromKeyboard)
        return false; // a click focused it: the mouse's own tip follows if the mouse rests
    Control* control = FocusedControlOf(ownerForm, focused);
    if (!control || control->tooltipText.isEmpty())
        return false;
    // Below the control, pointing at the middle of its lower edge, or above it near the bottom
    // of the screen.
    RECT area = control->windowRect();
    RECT work = WorkAreaNear(area);
    LONG middle = (area.left + area.right) / 2;
    bool below = area.bottom < (work.top + work.bottom) / 2;
    hideTip();
    restPoint = cursor; // the mouse that moves away from here takes over again
    resting = true;
    restTicks = 0;
    text = control->tooltipText;
    showTipAt(POINT{middle, below ? area.bottom : area.top}, below ? 1 : 0);
    focusTip = true;
    return true;
}

static int64_t CountLineFeeds(const Str& text)
{
    int64_t count = 0;
    for (int64_t i = 0; i < text.length(); i++)
        if (text.text()[i] == L'\n')
            count++;
    return count;
}

void Tooltip::showTip()
{
    showTipAt(restPoint, -1);
}

void Tooltip::showTipAt(POINT point, int below)
{
    // The tip speaks for the owner's controls: it takes the owner's DPI wherever it lies.
    if (ownerForm && dpi() != ownerForm->dpi())
        rebuildFonts(ownerForm->dpi());
    SIZE extent;
    {
        DrawContext context = windowDC();
        context.selectFont(normalFont());
        extent = context.multiLineExtent(text.text(), text.length());
    }
    hiddenAtValid = false;
    int64_t lineGaps = CountLineFeeds(text) * scaled(TooltipLineGap);
    int32_t width = CheckInt(extent.cx + static_cast<int64_t>(scaled(TooltipExtraWidth)));
    int32_t height = CheckInt(extent.cy + lineGaps + scaled(TooltipExtraHeight));
    int32_t gap = scaled(TooltipCursorGap);

    RECT work = WorkAreaNear(RECT{point.x, point.y, point.x + 1, point.y + 1});
    RECT placed;
    placedRight = point.x < (work.left + work.right) / 2;
    if (placedRight) {
        placed.left = point.x + gap;
        placed.right = placed.left + width;
    } else {
        placed.right = point.x - gap;
        placed.left = placed.right - width;
    }
    placedBelow = below < 0 ? point.y < (work.top + work.bottom) / 2 : below != 0;
    if (placedBelow) {
        placed.top = point.y + gap;
        placed.bottom = placed.top + height;
    } else {
        placed.bottom = point.y - gap;
        placed.top = placed.bottom - height;
    }
    setBoundsRect(FitRectToWorkArea(placed));

    if (OpenPopup && OpenPopup != hwnd)
        SendMessageW(OpenPopup, WM_CLOSE, 0, 0);
    OpenPopup = hwnd;
    if (!shown)
        showNoActivate();
    invalidate(); // the same size with another text is not repainted by itself
    update();
}

void Tooltip::onClose(MessageRecord& record)
{
    if (resting) {
        hiddenAt = restPoint;
        hiddenAtValid = true;
    }
    stopResting();
    hideTip();
}

// Draws a polygon of the arrow (its points in pixels at 96 DPI), mirrored towards the cursor's side.
static void ArrowPart(HDC dc, const POINT* shape, int count, POINT origin, int signX, int signY, int dpi)
{
    POINT mapped[4];
    for (int i = 0; i < count; i++)
        mapped[i] = POINT{origin.x + signX * MulDiv(shape[i].x, dpi, 96),
                          origin.y + signY * MulDiv(shape[i].y, dpi, 96)};
    Polygon(dc, mapped, count);
}

void Tooltip::onPaint(MessageRecord& record)
{
    DrawContext context = beginPaint();
    try {
        context.selectFont(normalFont());
        HDC dc = context.dc();
        RECT client = clientRect();
        TipColours colours = ColoursOfTheme();
        context.fillSolid(client, colours.background);
        SetTextColor(dc, colours.text);
        SetBkMode(dc, TRANSPARENT);

        // One line for each break: CR LF, a lone CR or a lone LF.
        int32_t x = placedRight ? scaled(TooltipTextLeft) : scaled(TooltipTextLeft - TooltipStripWidth);
        int32_t y = scaled(TooltipTextTop);
        const wchar_t* units = text.text();
        int64_t length = text.length();
        int64_t start = 0;
        while (start < length) {
            int64_t end = start;
            while (end < length && units[end] != L'\r' && units[end] != L'\n')
                end++;
            context.textOut(x, y, units + start, end - start);
            y += context.lineHeight() + scaled(TooltipLineGap);
            if (end + 1 < length && units[end] == L'\r' && units[end + 1] == L'\n')
                end++;
            start = end + 1;
        }

        RECT strip = client;
        if (placedRight)
            strip.right = strip.left + scaled(TooltipStripWidth);
        else
            strip.left = strip.right - scaled(TooltipStripWidth);
        context.fillSolid(strip, colours.strip);

        context.selectSolidBrush(colours.arrow);
        context.selectNullPen();
        static const POINT Head[3] = {{0, 0}, {10, 0}, {0, 10}};
        static const POINT Shaft[4] = {{0, 3}, {3, 0}, {12, 9}, {9, 12}};
        int32_t inset = scaled(TooltipArrowInset);
        POINT origin = {placedRight ? inset : client.right - inset,
                        placedBelow ? inset : client.bottom - inset};
        int signX = placedRight ? 1 : -1;
        int signY = placedBelow ? 1 : -1;
        int scale = static_cast<int>(dpi());
        ArrowPart(dc, Head, 3, origin, signX, signY, scale);
        ArrowPart(dc, Shaft, 4, origin, signX, signY, scale);
    } catch (...) {
        // a tip that cannot be drawn stays blank; the paint context still validates the window
    }
}
