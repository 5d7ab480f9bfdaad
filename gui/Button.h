// Button: a push button on the native "BUTTON" class. The ids of OK (1) and Yes (6) make it the
// default push button. Its default size follows dialog units of its font: 50 wide at least and
// 14 high.
#ifndef LUMIVO_GUI_BUTTON_H
#define LUMIVO_GUI_BUTTON_H

#include "gui/Control.h"

#include <stdint.h>

class Button : public Control {
public:
    // A shown button that follows the form's font; an empty tooltip text sets none.
    Button(ControlGroup* parent, const wchar_t* caption, uint32_t id, const wchar_t* tooltip);
    // Fixed: the caption plus the paddings, or in dialog units when the paddings are 0.
    SizeLimits sizeLimits() override;

    int32_t paddingX = 0; // 0: four average characters, and 50 dialog units at least
    int32_t paddingY = 0; // 0: 14 dialog units high
};

#endif
