// Tooltip: the small custom-drawn popup of a form that shows a control's tooltip text when the
// mouse rests on it. It polls the mouse with a 100 ms timer.
#ifndef LUMIVO_GUI_TOOLTIP_H
#define LUMIVO_GUI_TOOLTIP_H

#include "core/Str.h"
#include "gui/Form.h"

#include <windows.h>

#include <stdint.h>

enum : uint32_t { TooltipTimerId = 101, TooltipTimerPeriod = 100, TooltipFormId = 33 };

class Tooltip : public Form {
public:
    // A bordered popup with a drop shadow, owned by the form's window, and its timer.
    explicit Tooltip(Form* ownerForm);
    // Tells the owner form that its tooltip is gone.
    ~Tooltip() override;
    void onPaint(MessageRecord& record) override;
    void onTimer(MessageRecord& record) override;
    void onClose(MessageRecord& record) override;

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
};

#endif
