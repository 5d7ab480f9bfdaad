#include "gui/Tooltip.h"

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

void Tooltip::onPaint(MessageRecord& record)
{
    DrawContext context = beginPaint(); // validates; the drawing comes with the tip itself
}

void Tooltip::onTimer(MessageRecord& record) {}

void Tooltip::onClose(MessageRecord& record) {}
