#include "gui/Space.h"

Space::Space(ControlGroup* parent) : Space(parent, -1, -1)
{
    scaleByDpi = false;
}

Space::Space(ControlGroup* parent, int32_t width, int32_t height)
    : Control(parent, 0, Windowless), width(width), height(height), scaleByDpi(true)
{
    createWindow(L"Space Control", 0, 0);
}

SizeLimits Space::sizeLimits()
{
    int factor = scaleByDpi ? static_cast<int>(dpi()) : 96;
    SizeLimits limits = {0, 0, Unbounded, Unbounded};
    if (width != -1)
        limits.minWidth = limits.maxWidth = MulDiv(width, factor, 96);
    if (height != -1)
        limits.minHeight = limits.maxHeight = MulDiv(height, factor, 96);
    return limits;
}

bool Space::isSpace()
{
    return true;
}
