// StaticIcon: an icon on the native "STATIC" class (SS_ICON), never a tab stop. The icon handle
// belongs to whoever sets it.
#ifndef LUMIVO_GUI_STATICICON_H
#define LUMIVO_GUI_STATICICON_H

#include "gui/Control.h"

#include <windows.h>

#include <stdint.h>

class StaticIcon : public Control {
public:
    // A shown control without an icon yet.
    explicit StaticIcon(ControlGroup* parent);
    // At the top of the rectangle, centred in a wider one, at most as high as the rectangle.
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // Fixed at the icon's size as shown.
    SizeLimits sizeLimits() override;

    // Shows the icon (null: none) at the given size in pixels; returns the icon it replaced, which
    // the caller may now destroy.
    HICON setIcon(HICON newIcon, int32_t width, int32_t height);

    HICON icon = nullptr; // not owned
    int32_t iconWidth = 0;
    int32_t iconHeight = 0;
};

#endif
