// Tooltip: the small custom-drawn popup of a form that shows a control's tooltip text when the
// mouse rests on it, or when the keyboard moves the focus to it. It polls with a 100 ms timer:
// after ten quiet ticks over a control with a tip text it shows the text next to the cursor, with
// a coloured strip and an arrow that points at the cursor. It never comes back at the spot where it
// was last hidden or clicked. A tip of the focused control points at the control instead.
// Its sizes are pixels at 96 DPI, scaled to the owner form's DPI.
#ifndef LUMIVO_GUI_TOOLTIP_H
#define LUMIVO_GUI_TOOLTIP_H

#include "core/Str.h"
#include "gui/Form.h"

#include <windows.h>

#include <stdint.h>

enum : uint32_t { TooltipTimerId = 101, TooltipTimerPeriod = 100, TooltipFormId = 33 };

// Pixels at 96 DPI.
enum : int32_t {
    TooltipRestTolerance = 2, // pixels the mouse may move, in x and in y, and still rest
    TooltipRestTicks = 10,    // quiet ticks before the tip shows
    TooltipCursorGap = 8,     // between the cursor and the window
    TooltipStripWidth = 20,
    TooltipTextLeft = 27, // the text's left edge beside the strip (7 when the strip is on the right)
    TooltipTextTop = 5,
    TooltipLineGap = 3,      // between two lines of text
    TooltipExtraWidth = 36,  // the window's width beyond the text's
    TooltipExtraHeight = 14, // the window's height beyond the text's (6 inside, 8 for the frame)
    TooltipArrowInset = 3,   // from the corner of the strip to the arrow's tip
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
    // The same beside the point: below it when below is 1, above it when 0, and for -1 on the side
    // of the work area's middle that has more room.
    void showTipAt(POINT point, int below);
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
    HWND focusSeen = nullptr; // the focused window at the last tick
    bool focusTip = false;    // the tip shown is the focused control's

private:
    void stopResting();
    // Shows the tip of a control that the keyboard just focused; false when there is none.
    bool followFocus(POINT cursor);
};

#endif
