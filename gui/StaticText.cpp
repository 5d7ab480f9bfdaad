#include "gui/StaticText.h"

#include "gui/TextMeasure.h"

#include <limits.h>

StaticText::StaticText(ControlGroup* parent, const wchar_t* text) : Control(parent, StaticTextId, NoTabStop)
{
    // Drawn as measured: an "&" in a message (a file name) is a character, not a mnemonic.
    createWindow(L"STATIC", SS_LEFT | SS_NOPREFIX, 0);
    followFormFont();
    setText(text);
    show();
}

void StaticText::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    int32_t padX = scaled(paddingX);
    int32_t padY = scaled(paddingY);
    left += padX;
    top += padY;
    right -= padX;
    // The window reaches the bottom of the row; only the top padding is taken off.
    Control::setBounds(left, top, right, bottom);
}

int32_t StaticText::wrapPixels(DrawContext& context)
{
    if (wrapWidth == 0)
        return INT_MAX;
    if (wrapWidth > 0)
        return scaled(wrapWidth);
    SIZE alphabet;
    if (!context.dc() || !GetTextExtentPoint32W(context.dc(), AlphabetText, AlphabetLength, &alphabet))
        alphabet.cx = 520;
    return static_cast<int32_t>((static_cast<int64_t>(alphabet.cx) + 26) * -static_cast<int64_t>(wrapWidth) / 52);
}

SizeLimits StaticText::sizeLimits()
{
    Str text = getText();
    DrawContext context = OwnFontContext(*this);
    SIZE natural = {0, 0}; // also for an empty text, which DrawTextW may refuse to measure
    CalcTextSize(context, text.text(), text.length(), RECT{0, 0, wrapPixels(context), 1},
                 DT_WORDBREAK | DT_NOPREFIX, natural);
    int32_t width = natural.cx + 2 * scaled(paddingX);
    int32_t height = natural.cy + 2 * scaled(paddingY);
    return SizeLimits{width, height, width, height};
}
