#include "gui/CheckMark.h"

#include "gui/TextMeasure.h"

CheckMark::CheckMark(ControlGroup* parent, const wchar_t* caption, uint32_t id, bool checked)
    : Control(parent, id, 0)
{
    createWindow(L"BUTTON", BS_AUTOCHECKBOX, 0);
    followFormFont();
    setText(caption);
    send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    show();
}

SizeLimits CheckMark::sizeLimits()
{
    Str caption = getText();
    DrawContext context = OwnFontContext(*this);
    SIZE text = context.textExtent(caption.text(), caption.length());
    int32_t width = text.cx + 2 * scaled(paddingX) + scaled(20); // the box and its gap
    int32_t height = text.cy + 2 * scaled(paddingY);
    return SizeLimits{width, height, width, height};
}
