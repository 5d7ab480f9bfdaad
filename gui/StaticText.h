// StaticText: a word-wrapping text on the native "STATIC" class (id 33), never a tab stop.
#ifndef LUMIVO_GUI_STATICTEXT_H
#define LUMIVO_GUI_STATICTEXT_H

#include "gui/Control.h"

#include <stdint.h>

enum : uint32_t { StaticTextId = 33 };

class StaticText : public Control {
public:
    // A shown text that follows the form's font.
    StaticText(ControlGroup* parent, const wchar_t* text);
    // The window lies inside the paddings.
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // The wrapped text plus the paddings, fixed.
    SizeLimits sizeLimits() override;
    // The width at which the text wraps: wrapWidth pixels at 96 DPI, -wrapWidth average characters
    // of the font selected in the context, or no wrapping.
    int32_t wrapPixels(DrawContext& context);

    int32_t paddingX = 0;
    int32_t paddingY = 0;
    // 0: no wrapping; above 0: wrap at that many pixels at 96 DPI; below 0: at -wrapWidth average
    // characters.
    int32_t wrapWidth = 0;
};

#endif
