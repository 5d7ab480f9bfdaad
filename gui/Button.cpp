#include "gui/Button.h"

#include "gui/Form.h"
#include "gui/TextMeasure.h"

#include <algorithm>

Button::Button(ControlGroup* parent, const wchar_t* caption, uint32_t id, const wchar_t* tooltip)
    : Control(parent, id, 0)
{
    createWindow(L"BUTTON", id == IDOK || id == IDYES ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, 0);
    if (tooltip && *tooltip)
        setTooltip(tooltip);
    followFormFont();
    setText(caption);
    show();
}

SizeLimits Button::sizeLimits()
{
    Str caption = getText();
    DrawContext context = OwnFontContext(*this);
    // A horizontal dialog unit is a quarter, a vertical one an eighth of the average character cell.
    int32_t average = (SingleLineSize(context, AlphabetText, AlphabetLength, SIZE{520, 20}).cx + 26) / 52;
    SIZE text = SingleLineSize(context, caption.text(), caption.length(),
                               SIZE{CheckInt(10 * caption.length()), 20});
    Form* owner = form();
    if (int32_t adjust = owner ? owner->buttonHeightAdjust() : 0)
        text.cy = scaled(adjust);

    int32_t width;
    if (paddingX != 0) {
        width = text.cx + 2 * scaled(paddingX);
    } else {
        width = std::max<int32_t>(text.cx + 4 * average, (50 * average + 2) / 4);
    }
    int32_t height = paddingY != 0 ? text.cy + 2 * scaled(paddingY) : (14 * text.cy + 4) / 8;
    return SizeLimits{width, height, width, height};
}
