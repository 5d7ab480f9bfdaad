// EditLine: a one-line edit on the native "EDIT" class (id 40004) with a sunken edge. It tells its
// parent about Up, Down, Tab, Enter and Esc through WM_COMMAND notifications.
#ifndef LUMIVO_GUI_EDITLINE_H
#define LUMIVO_GUI_EDITLINE_H

#include "gui/Control.h"

#include <stdint.h>

enum : uint32_t { EditLineId = 40004 };

// Notification codes of an EditLine (HIWORD of WM_COMMAND's wParam).
enum : uint32_t {
    EditLineUp = 40000,
    EditLineDown = 40001,
    EditLineTab = 40002,
    EditLineEnter = 40003,
    EditLineEsc = 40004,
};

class EditLine : public Control {
public:
    // A shown edit that follows the form's font.
    explicit EditLine(ControlGroup* parent);
    // One line high plus the paddings, at least seven "o" wide.
    SizeLimits sizeLimits() override;
    // Tab, Enter and Esc characters become notifications; other characters go to the edit.
    void onChar(MessageRecord& record) override;
    // Up and Down become notifications; other keys go to the edit.
    void onKeyDown(MessageRecord& record) override;
    // The keys that specialKeys claims are taken from the dialog manager.
    void onGetDlgCode(MessageRecord& record) override;

    uint32_t specialKeys = 0; // EditKeys.h
    int32_t paddingY = 4;
    int32_t naturalWidth = 0; // written by sizeLimits
    int32_t naturalHeight = 0;
};

#endif
