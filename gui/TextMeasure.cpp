#include "gui/TextMeasure.h"

#include <limits.h>

const wchar_t AlphabetText[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

DrawContext OwnFontContext(Control& control)
{
    DrawContext context = control.windowDC();
    control.selectOwnFont(context);
    return context;
}

bool CalcTextSize(DrawContext& context, const wchar_t* text, int64_t length, RECT bounds, UINT format,
                  SIZE& size)
{
    int32_t count = CheckInt(length);
    if (!context.dc() || !DrawTextW(context.dc(), text, count, &bounds, format | DT_CALCRECT))
        return false;
    size = SIZE{bounds.right, bounds.bottom};
    return true;
}

SIZE SingleLineSize(DrawContext& context, const wchar_t* text, int64_t length, SIZE fallback)
{
    SIZE size = fallback;
    CalcTextSize(context, text, length, RECT{0, 0, INT_MAX, INT_MAX}, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX,
                 size);
    return size;
}
