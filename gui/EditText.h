// EditText: a multi-line edit on the native "EDIT" class (id 40001) with a sunken edge and a
// vertical scroll bar. Unless it claims them, Tab and Enter stay with the dialog manager.
#ifndef LUMIVO_GUI_EDITTEXT_H
#define LUMIVO_GUI_EDITTEXT_H

#include "gui/Control.h"

#include <stdint.h>

enum : uint32_t { EditTextId = 40001 };

class EditText : public Control {
public:
    // A shown edit that follows the form's font; an empty tooltip text sets none.
    EditText(ControlGroup* parent, const wchar_t* tooltip);
    // minLines to maxLines lines high plus the paddings, at least 50 pixels wide.
    SizeLimits sizeLimits() override;
    // specialKeys claims Enter, Tab and Esc; without it Tab and Enter go to the dialog manager.
    void onGetDlgCode(MessageRecord& record) override;

    uint32_t specialKeys = 0; // EditKeys.h, without WantsUpDown
    int32_t paddingX = 4;
    int32_t paddingY = 4;
    int32_t minLines = 1;
    int32_t maxLines = 1000;
};

#endif
