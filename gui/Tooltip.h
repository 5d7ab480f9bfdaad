// Tooltip: the small custom-drawn popup of a form that shows a control's tooltip text when the
// mouse rests on it. It polls the mouse with a 100 ms timer: after ten quiet ticks over a control
// with a tip text it shows the text next to the cursor, with a coloured strip and an arrow that
// points at the cursor. It never comes back at the spot where it was last hidden or clicked.
#ifndef LUMIVO_GUI_TOOLTIP_H
#define LUMIVO_GUI_TOOLTIP_H

#include "core/Str.h"
#include "gui/Form.h"

#include <windows.h>

#include <stdint.h>

enum : uint32_t { TooltipTimerId = 101, TooltipTimerPeriod = 100, TooltipFormId = 33 };

enum : int32_t {
    TooltipRestTolerance = 2, // pixels the mouse may move, in x and in y, and still rest
    TooltipRestTicks = 10,    // quiet ticks before the tip shows
    TooltipCursorGap = 8,     // between the cursor and the window
    TooltipStripWidth = 20,
};

// Where the tooltip reads the mouse position from (GetCursorPos unless a test drives it).
typedef BOOL(WINAPI* CursorReader)(LPPOINT);

class Tooltip : public Form {
public:
    // A bordered popup with a drop shadow, owned by the form's window, and its timer.
    explicit Tooltip(Form* ownerForm);
    // Tells the owner form that its tooltip is gone.
    ~Tooltip() override;
    // White, the text, the strip on the cursor's side and the arrow in its corner.
    void onPaint(MessageRecord& record) override;
    // One tick of rest detection (every WM_TIMER, whatever its id).
    void onTimer(MessageRecord& record) override;
    // Sent by the message loop on a key, a click or an activation change: the tip goes and stays
    // away from this spot. The window is kept.
    void onClose(MessageRecord& record) override;

    // Places the window for text beside restPoint and shows it without activating it.
    void showTip();
    // Hides a shown tip and remembers where.
    void hideTip();
    // The mouse came to rest at the point: the count starts again.
    void rearm(POINT point);

    Form* ownerForm; // the form whose controls it serves; not owned
    Str text;        // the text now shown
    UINT_PTR timerId = 0;
    int32_t restTicks = 0;    // timer ticks while the mouse rests
    bool placedRight = false; // the window lies right of the cursor
    bool placedBelow = false; // the window lies below the cursor
    POINT hiddenAt = {0, 0};  // where the tip was last hidden
    POINT restPoint = {0, 0}; // where the mouse came to rest
    bool resting = false;
    bool hiddenAtValid = false;
    CursorReader readCursor = GetCursorPos;

private:
    void stopResting();
};

#endif
