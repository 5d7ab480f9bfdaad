// Label: one line of text on the native "STATIC" class, without an id and never a tab stop. Its
// "&" mnemonic works only while the label is shown.
#ifndef LUMIVO_GUI_LABEL_H
#define LUMIVO_GUI_LABEL_H

#include "gui/Control.h"

#include <stdint.h>

class Label : public Control {
public:
    // A shown label that follows the form's font.
    Label(ControlGroup* parent, const wchar_t* text);
    // SS_NOPREFIX goes before the window is shown, so the mnemonic comes back with it.
    void show() override;
    void showNoActivate() override;
    // SS_NOPREFIX comes back: a hidden label offers no mnemonic to the dialog manager.
    void hide() override;
    // Full width; a row taller than the label centres it vertically.
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // The text on one line plus the paddings, fixed; 50 x 20 when it cannot be measured.
    SizeLimits sizeLimits() override;

    int32_t paddingX = 0;
    int32_t paddingY = 0;
    int32_t naturalWidth = 0; // written by sizeLimits
    int32_t naturalHeight = 0;

private:
    void allowMnemonic(bool allowed);
};

#endif
