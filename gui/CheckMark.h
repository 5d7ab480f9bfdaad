// CheckMark: a check box on the native "BUTTON" class (BS_AUTOCHECKBOX). Its state is read with
// BM_GETCHECK.
#ifndef LUMIVO_GUI_CHECKMARK_H
#define LUMIVO_GUI_CHECKMARK_H

#include "gui/Control.h"

#include <stdint.h>

class CheckMark : public Control {
public:
    // A shown check box that follows the form's font.
    CheckMark(ControlGroup* parent, const wchar_t* caption, uint32_t id, bool checked);
    // Fixed: the caption, the paddings and 20 pixels (at 96 DPI) for the box.
    SizeLimits sizeLimits() override;

    bool isChecked() { return send(BM_GETCHECK, 0, 0) == BST_CHECKED; }

    int32_t paddingX = 0;
    int32_t paddingY = 0;
};

#endif
