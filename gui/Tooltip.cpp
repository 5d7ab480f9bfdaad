#include "gui/Tooltip.h"

#include "gui/MessageLoop.h"
#include "gui/WorkArea.h"

#include <stdlib.h>

enum : COLORREF { StripColour = 0x87C3FF }; // RGB(255, 195, 135)

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

static bool Near(POINT a, POINT b)
{
    return abs(a.x - b.x) <= TooltipRestTolerance && abs(a.y - b.y) <= TooltipRestTolerance;
}

void Tooltip::hideTip()
{
    if (!shown)
        return;
    hide();
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
    if (!resting || !Near(cursor, restPoint)) {
        rearm(cursor);
        return;
    }
    if ((hiddenAtValid && Near(cursor, hiddenAt)) || Near(cursor, LastMousePoint)) {
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
    SIZE extent;
    {
        DrawContext context = windowDC();
        context.selectFont(normalFont());
        extent = context.multiLineExtent(text.text(), text.length());
    }
    hiddenAtValid = false;
    int32_t height = CheckInt(extent.cy + 3 * CountLineFeeds(text) + 6);

    RECT work = WorkAreaNear(RECT{restPoint.x, restPoint.y, restPoint.x + 1, restPoint.y + 1});
    RECT placed;
    placedRight = restPoint.x < (work.left + work.right) / 2;
    if (placedRight) {
        placed.left = restPoint.x + TooltipCursorGap;
        placed.right = placed.left + extent.cx + 36;
    } else {
        placed.right = restPoint.x - TooltipCursorGap;
        placed.left = placed.right - extent.cx - 36;
    }
    placedBelow = restPoint.y < (work.top + work.bottom) / 2;
    if (placedBelow) {
        placed.top = restPoint.y + TooltipCursorGap;
        placed.bottom = placed.top + height + 8;
    } else {
        placed.bottom = restPoint.y - TooltipCursorGap;
        placed.top = placed.bottom - height - 8;
    }
    setBoundsRect(FitRectToWorkArea(placed));

    if (OpenPopup && OpenPopup != hwnd)
        SendMessageW(OpenPopup, WM_CLOSE, 0, 0);
    OpenPopup = hwnd;
    if (!shown)
        showNoActivate();
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

// Draws a polygon of the arrow, mirrored towards the cursor's side.
static void ArrowPart(HDC dc, const POINT* shape, int count, POINT origin, int signX, int signY)
{
    POINT mapped[4];
    for (int i = 0; i < count; i++)
        mapped[i] = POINT{origin.x + signX * shape[i].x, origin.y + signY * shape[i].y};
    Polygon(dc, mapped, count);
}

void Tooltip::onPaint(MessageRecord& record)
{
    DrawContext context = beginPaint();
    try {
        context.selectFont(normalFont());
        HDC dc = context.dc();
        RECT client = clientRect();
        context.fillSolid(client, RGB(255, 255, 255));
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);

        // One line for each break: CR LF, a lone CR or a lone LF.
        int32_t x = placedRight ? 27 : 7;
        int32_t y = 5;
        const wchar_t* units = text.text();
        int64_t length = text.length();
        int64_t start = 0;
        while (start < length) {
            int64_t end = start;
            while (end < length && units[end] != L'\r' && units[end] != L'\n')
                end++;
            context.textOut(x, y, units + start, end - start);
            y += context.lineHeight() + 3;
            if (end + 1 < length && units[end] == L'\r' && units[end + 1] == L'\n')
                end++;
            start = end + 1;
        }

        RECT strip = client;
        if (placedRight)
            strip.right = strip.left + TooltipStripWidth;
        else
            strip.left = strip.right - TooltipStripWidth;
        context.fillSolid(strip, StripColour);

        context.selectBlackBrush();
        context.selectNullPen();
        static const POINT Head[3] = {{0, 0}, {10, 0}, {0, 10}};
        static const POINT Shaft[4] = {{0, 3}, {3, 0}, {12, 9}, {9, 12}};
        POINT origin = {placedRight ? 3 : client.right - 3, placedBelow ? 3 : client.bottom - 3};
        int signX = placedRight ? 1 : -1;
        int signY = placedBelow ? 1 : -1;
        ArrowPart(dc, Head, 3, origin, signX, signY);
        ArrowPart(dc, Shaft, 4, origin, signX, signY);
    } catch (...) {
        // a tip that cannot be drawn stays blank; the paint context still validates the window
    }
}
