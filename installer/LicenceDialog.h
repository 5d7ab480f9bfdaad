// The licence window: the licence text of the archive in a scrolling box twenty lines high, and OK.
#ifndef LUMIVO_INSTALLER_LICENCEDIALOG_H
#define LUMIVO_INSTALLER_LICENCEDIALOG_H

#include "core/Str.h"
#include "gui/Dialog.h"

class MainForm;

enum : uint32_t { LicenceFormId = 105, LicenceTextId = 40001 };

class LicenceDialog : public Dialog {
public:
    LicenceDialog() = default;
    // The close box ends the dialog as Esc does.
    void onClose(MessageRecord& record) override;
    // OK (1) and Esc (2) end the dialog; everything else is ignored.
    void onCommand(MessageRecord& record) override;

    int32_t pressedId = -1; // -1 while the dialog runs, then 1 (OK) or 2 (closed)
};

// Shows a licence text modally over owner; returns how it ended (1 or 2).
int32_t RunLicenceDialog(Form* owner, const wchar_t* title, const Str& text);

// The Licence command: the script's licence entry, read from the archive.
void ShowLicence(MainForm& form);

// Every line end (CR LF, a lone LF or a lone CR) as CR LF, which is what a multi-line edit
// control shows as a line break.
Str WithWindowsLineEnds(const Str& text);

#endif
