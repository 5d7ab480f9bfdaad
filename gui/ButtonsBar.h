// ButtonsBar: a windowless row of buttons, right-aligned, each at least two "O" wide. It owns the
// buttons created in it.
#ifndef LUMIVO_GUI_BUTTONSBAR_H
#define LUMIVO_GUI_BUTTONSBAR_H

#include "core/Array.h"
#include "gui/ControlGroup.h"

#include <stdint.h>

struct ButtonsBarEntry {
    Control* button; // owned by the bar
    int32_t width;   // written by sizeLimits
};

class ButtonsBar : public ControlGroup {
public:
    // An empty shown bar in the parent.
    explicit ButtonsBar(ControlGroup* parent);
    // Deletes the buttons, last first.
    ~ButtonsBar() override;
    // The bar has no window: showing and hiding it (collapsing, too) act on its buttons.
    void show() override;
    void showNoActivate() override;
    void hide() override;
    // Right-aligned in the rectangle, last button first.
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // Fixed: the buttons side by side with the spacing and margins; a collapsed bar takes no room.
    SizeLimits sizeLimits() override;
    bool tooltipAt(POINT screenPoint, Str& text) override;
    uint32_t idAt(POINT screenPoint) override;
    void removeChild(Control* child) override;
    void addChild(Control* child) override;

    int32_t spacing = 8; // pixels at 96 DPI
    int32_t marginX = 0;
    int32_t marginTop = 8;
    int32_t marginBottom = 0;
    Array<ButtonsBarEntry, true, 4> entries;
};

#endif
