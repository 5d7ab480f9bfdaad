#include "gui/ButtonsBar.h"

#include <algorithm>

ButtonsBar::ButtonsBar(ControlGroup* parent) : ControlGroup(parent, 0, Windowless)
{
    createWindow(L"Buttons Bar", 0, 0);
    show();
}

ButtonsBar::~ButtonsBar()
{
    // Each button's destructor removes its own entry.
    for (int64_t i = entries.length() - 1; i >= 0; i--)
        if (i < entries.length())
            delete entries.ref(i).button;
    entries.release();
}

void ButtonsBar::show()
{
    if (shown)
        return;
    shown = true;
    for (int64_t i = 0; i < entries.length(); i++)
        entries.ref(i).button->show();
}

void ButtonsBar::showNoActivate()
{
    show();
}

void ButtonsBar::hide()
{
    if (!shown)
        return;
    shown = false;
    for (int64_t i = 0; i < entries.length(); i++)
        entries.ref(i).button->hide();
}

SizeLimits ButtonsBar::sizeLimits()
{
    if (collapsed)
        return SizeLimits{0, 0, 0, 0};
    int32_t widthOfO = 10;
    {
        DrawContext context = drawingDC(); // the system font: the minimum does not follow the form's
        SIZE measured;
        if (context.dc() && GetTextExtentPoint32W(context.dc(), L"O", 1, &measured))
            widthOfO = measured.cx;
    }
    int32_t width = 0;
    int32_t height = 0;
    bool first = true;
    for (int64_t i = 0; i < entries.length(); i++) {
        ButtonsBarEntry& entry = entries.ref(i);
        if (entry.button->isCollapsed())
            continue;
        SizeLimits button = entry.button->sizeLimits();
        entry.width = std::max(button.minWidth, 2 * widthOfO);
        width += entry.width;
        height = std::max(height, button.minHeight);
        if (!first)
            width += scaled(spacing);
        first = false;
    }
    width += 2 * scaled(marginX);
    height += scaled(marginTop) + scaled(marginBottom);
    return SizeLimits{width, height, width, height};
}

void ButtonsBar::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    int32_t innerTop = top + scaled(marginTop);
    int32_t innerBottom = bottom - scaled(marginBottom);
    int32_t x = right - scaled(marginX);
    for (int64_t i = entries.length() - 1; i >= 0; i--) {
        ButtonsBarEntry& entry = entries.ref(i);
        if (entry.button->isCollapsed())
            continue;
        entry.button->setBounds(x - entry.width, innerTop, x, innerBottom);
        x -= entry.width + scaled(spacing);
    }
}

bool ButtonsBar::tooltipAt(POINT screenPoint, Str& text)
{
    for (int64_t i = 0; i < entries.length(); i++)
        if (entries.ref(i).button->tooltipAt(screenPoint, text))
            return true;
    return false;
}

uint32_t ButtonsBar::idAt(POINT screenPoint)
{
    for (int64_t i = 0; i < entries.length(); i++)
        if (uint32_t found = entries.ref(i).button->idAt(screenPoint))
            return found;
    return 0;
}

void ButtonsBar::addChild(Control* child)
{
    entries.append(ButtonsBarEntry{child, 0});
}

void ButtonsBar::removeChild(Control* child)
{
    for (int64_t i = 0; i < entries.length(); i++) {
        if (entries.ref(i).button == child) {
            entries.remove(i, 1);
            return;
        }
    }
}
