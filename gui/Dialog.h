// Dialog: a form with an owner that runs modally. It sizes itself to its content, centres itself
// on its owner, and keeps the owner disabled while its own loop runs.
#ifndef LUMIVO_GUI_DIALOG_H
#define LUMIVO_GUI_DIALOG_H

#include "gui/Form.h"

class Dialog : public Form {
public:
    // A dialog window (label "Dialog") with a tooltip and the title, hidden.
    Dialog(Form* owner, uint32_t formId, const wchar_t* title);
    // Enables the owner again if the dialog still holds it disabled.
    ~Dialog() override;
    // Passes WM_HELP on to the owner, with the dialog's id.
    void defaultProc(MessageRecord& record) override;
    // Asks the owner; false without one.
    bool reportError(const Error& error) override;

    void initDialog(Form* owner, uint32_t formId, const wchar_t* title);
    // Measures the DPI of the dialog's monitor again, rebuilds the fonts and places the window.
    void fitToContent();
    // Sizes the window for its content at the current DPI, at most maxInitialWidth by
    // maxInitialHeight (96-DPI pixels) unless the content needs more, centred on the owner and
    // kept in the work area.
    void placeForContent();
    // Fits, shows, disables the owner, focuses the control (if any) and runs the loop; then
    // enables and activates the owner and takes the dialog out of sight (vanish: destroy it next).
    // The result is what the derived dialog stored.
    void runModal(Control* focus);

    Form* dialogOwner = nullptr; // disabled while the dialog runs; not owned
    bool ownerDisabled = false;
    int32_t maxInitialWidth = 400;
    int32_t maxInitialHeight = 300;

protected:
    // For derived dialogs, which call initDialog themselves.
    Dialog() = default;
};

#endif
