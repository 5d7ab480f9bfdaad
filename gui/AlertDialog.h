// AlertDialog: the toolkit's message box. A modal dialog with an optional system icon, a message
// that wraps at 60 average characters, and a right-aligned row of up to four buttons described by
// a short buttons text such as "+Retry|-Cancel" (AlertButtons.h). Ctrl+C copies it to the
// clipboard as plain text.
#ifndef LUMIVO_GUI_ALERTDIALOG_H
#define LUMIVO_GUI_ALERTDIALOG_H

#include "core/Str.h"
#include "gui/AlertButtons.h"
#include "gui/Dialog.h"
#include "gui/GdiObj.h"

#include <windows.h>

#include <stdint.h>

class Button;
class StaticIcon;
class StaticText;

// The kind of an alert (the low three bits of its flags): its icon and its sound.
enum : uint32_t {
    AlertPlain = 0,
    AlertWarning = 1,     // IDI_WARNING, MB_ICONEXCLAMATION
    AlertError = 2,       // IDI_ERROR, MB_ICONHAND
    AlertQuestion = 3,    // IDI_QUESTION, MB_ICONQUESTION
    AlertInformation = 4, // IDI_INFORMATION, MB_ICONASTERISK
};

enum : uint32_t { AlertFormId = 51, AlertShownMessage = WM_APP + 51 };

class AlertDialog : public Dialog {
public:
    // Builds the hidden alert: InternalError for a malformed buttons text. owner may be
    // null (an alert of its own, centred on the screen).
    AlertDialog(Form* owner, const Str& message, const wchar_t* title, const wchar_t* buttonSpec,
                uint32_t alertFlags);
    ~AlertDialog() override;
    // The static controls sit on the window colour; a DPI change reloads the icon at its size.
    void defaultProc(MessageRecord& record) override;
    // The window colour above the buttons' band, the button face below it.
    void onPaint(MessageRecord& record) override;
    // Only an alert with a cancel button can be closed.
    void onClose(MessageRecord& record) override;
    // A button ends the alert; IDOK and IDCANCEL only when the alert has that button.
    void onCommand(MessageRecord& record) override;
    // Ctrl+C copies the alert to the clipboard.
    bool preTranslate(MSG* message) override;

    // Beeps, shows the alert modally over its owner and returns the index of the chosen button
    // (counting from 0 in the buttons text), or -1 when it ended without one.
    int32_t run();
    // The system icon at the size for the DPI; without one the alert shows none.
    void loadAlertIcon(uint32_t newDpi);
    // The clipboard text of Ctrl+C.
    Str clipboardText();
    void copyToClipboard();

    int32_t resultId = -1; // IDOK, IDCANCEL or 50 + index of the button that ended the alert
    int32_t defaultIndex = -1;
    int32_t cancelIndex = -1;
    GdiObj windowBrush; // behind the static controls
    Button* focusButton = nullptr;
    Button* buttons[MaxAlertButtons] = {}; // owned by the buttons bar
    uint32_t iconId = 0;                   // IDI_... or 0
    StaticIcon* iconControl = nullptr;     // owned by the content
    StaticText* messageControl = nullptr;  // owned by the content
    Str messageText;
    Str buttonSpec;
    AlertButtons parsedButtons;
    uint32_t beepType = 0;
    HICON ownedIcon = nullptr; // the scaled icon on show, destroyed with the alert
};

// Shows an alert owned by the form, or by no window when owner is null, and returns the index of
// the chosen button or -1 (Form::alert). Throws what building or running the alert throws.
int32_t ShowAlert(Form* owner, const wchar_t* message, const wchar_t* title, const wchar_t* buttonSpec,
                  uint32_t alertFlags);

#endif
