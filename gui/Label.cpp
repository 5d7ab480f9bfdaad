#include "gui/Label.h"

#include "gui/TextMeasure.h"

#include <limits.h>

Label::Label(ControlGroup* parent, const wchar_t* text) : Control(parent, NoControlId, NoTabStop)
{
    createWindow(L"STATIC", SS_LEFTNOWORDWRAP, 0);
    followFormFont();
    setText(text);
    show();
}

void Label::allowMnemonic(bool allowed)
{
    if (!hwnd)
        return;
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    SetWindowLongW(hwnd, GWL_STYLE, allowed ? style & ~SS_NOPREFIX : style | SS_NOPREFIX);
}

void Label::show()
{
    if (!shown)
        allowMnemonic(true);
    Control::show();
}

void Label::showNoActivate()
{
    show(); // a label never takes the activation
}

void Label::hide()
{
    bool wasShown = shown;
    Control::hide();
    if (wasShown)
        allowMnemonic(false);
}

void Label::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (naturalHeight < bottom - top) {
        top += (bottom - top - naturalHeight) / 2;
        bottom = top + naturalHeight;
    }
    Control::setBounds(left, top, right, bottom);
}

SizeLimits Label::sizeLimits()
{
    SizeLimits limits = {50, 20, 50, 20};
    try {
        Str text = getText();
        DrawContext context = OwnFontContext(*this);
        SIZE natural;
        if (text.length() > 0) {
            natural = SIZE{CheckInt(10 * text.length()), 20};
            CalcTextSize(context, text.text(), text.length(), RECT{0, 0, 100000, 1}, DT_SINGLELINE | DT_NOCLIP,
                         natural);
        } else {
            natural = SIZE{20, 20};
            SIZE line;
            if (CalcTextSize(context, L"Wy", 2, RECT{0, 0, INT_MAX, INT_MAX},
                             DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX, line))
                natural = SIZE{0, line.cy};
        }
        int32_t width = natural.cx + scaled(2) + 2 * scaled(paddingX);
        int32_t height = natural.cy + 2 * scaled(paddingY);
        naturalWidth = width;
        naturalHeight = height;
        limits = SizeLimits{width, height, width, height};
    } catch (const Error&) {
        // an unmeasurable label keeps the start values
    }
    return limits;
}
