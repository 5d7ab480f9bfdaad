#include "gui/StaticIcon.h"

StaticIcon::StaticIcon(ControlGroup* parent) : Control(parent, 0, NoTabStop)
{
    createWindow(L"STATIC", SS_ICON, 0);
    show();
}

void StaticIcon::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (iconWidth < right - left) {
        left += (right - left - iconWidth) / 2;
        right = left + iconWidth;
    }
    if (iconHeight < bottom - top)
        bottom = top + iconHeight;
    Control::setBounds(left, top, right, bottom);
}

SizeLimits StaticIcon::sizeLimits()
{
    return SizeLimits{iconWidth, iconHeight, iconWidth, iconHeight};
}

HICON StaticIcon::setIcon(HICON newIcon, int32_t width, int32_t height)
{
    icon = newIcon;
    iconWidth = width;
    iconHeight = height;
    return reinterpret_cast<HICON>(send(STM_SETICON, reinterpret_cast<WPARAM>(newIcon), 0));
}
