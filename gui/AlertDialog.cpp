#include "gui/AlertDialog.h"

#include "gui/AlertText.h"
#include "gui/Button.h"
#include "gui/ButtonsBar.h"
#include "gui/Clipboard.h"
#include "gui/Color.h"
#include "gui/Dpi.h"
#include "gui/ElasticGroup.h"
#include "gui/Mnemonic.h"
#include "gui/StaticIcon.h"
#include "gui/StaticText.h"

#include <oleacc.h>

// Icon and sound of each alert kind.
struct AlertKind {
    uint32_t iconId;
    uint32_t beepType;
};

static AlertKind KindOfFlags(uint32_t alertFlags)
{
    switch (alertFlags & 7) {
    case AlertWarning:
        return AlertKind{32515, MB_ICONEXCLAMATION}; // IDI_WARNING
    case AlertError:
        return AlertKind{32513, MB_ICONHAND}; // IDI_ERROR
    case AlertQuestion:
        return AlertKind{32514, MB_ICONQUESTION}; // IDI_QUESTION
    case AlertInformation:
        return AlertKind{32516, MB_ICONASTERISK}; // IDI_INFORMATION
    default:
        return AlertKind{0, 0};
    }
}

AlertDialog::AlertDialog(Form* owner, const Str& message, const wchar_t* title, const wchar_t* buttonsText,
                         uint32_t alertFlags)
    : messageText(message), buttonSpec(buttonsText), parsedButtons(ParseAlertButtons(buttonsText))
{
    AlertKind kind = KindOfFlags(alertFlags);
    iconId = kind.iconId;
    beepType = kind.beepType;
    defaultIndex = parsedButtons.defaultIndex;
    cancelIndex = parsedButtons.cancelIndex;

    initDialog(owner, AlertFormId, title);
    windowBrush.makeSolidBrush(GetSysColor(COLOR_WINDOW));

    ElasticGroup* rows = new ElasticGroup(Vertical, this);
    rows->marginX = 8;
    rows->marginY = 8;
    rows->spacing = 8;
    ElasticGroup* body = new ElasticGroup(Horizontal, rows);
    body->marginX = 16;
    body->marginY = 12;
    body->spacing = 16;
    if (iconId)
        iconControl = new StaticIcon(body);
    messageControl = new StaticText(body, messageText.text());
    messageControl->wrapWidth = -60; // 60 average characters
    ButtonsBar* bar = new ButtonsBar(rows);
    // Every button can be pressed with its letter; the captions of the clipboard text stay plain.
    Str captions[MaxAlertButtons];
    for (int32_t i = 0; i < parsedButtons.count; i++)
        captions[i] = parsedButtons.captions[i];
    AddMnemonics(captions, parsedButtons.count);
    for (int32_t i = 0; i < parsedButtons.count; i++)
        buttons[i] = new Button(bar, captions[i].text(), parsedButtons.ids[i], L"");
    maxInitialWidth = 100; // as narrow as the content allows

    // A lone default button also cancels: Esc and the close box choose it.
    if (parsedButtons.count == 1 && defaultIndex == 0)
        cancelIndex = defaultIndex;
    if (cancelIndex < 0)
        EnableMenuItem(GetSystemMenu(hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    focusButton = buttons[defaultIndex >= 0 ? defaultIndex : cancelIndex >= 0 ? cancelIndex : 0];

    // A screen reader announces a dialog with its title and reads the message as its description.
    accessible.role = ROLE_SYSTEM_DIALOG;
    accessible.description = messageText;
}

AlertDialog::~AlertDialog()
{
    if (ownedIcon) {
        if (iconControl)
            iconControl->setIcon(nullptr, iconControl->iconWidth, iconControl->iconHeight);
        DestroyIcon(ownedIcon);
        ownedIcon = nullptr;
    }
    messageText.release();
    buttonSpec.release();
    windowBrush.reset();
}

int32_t AlertDialog::run()
{
    if (iconId)
        MessageBeep(beepType);
    loadAlertIcon(dpi());
    runModal(focusButton);
    if (resultId == -1)
        return -1;
    if (resultId == IDOK && defaultIndex >= 0)
        return defaultIndex;
    if (resultId == IDCANCEL && cancelIndex >= 0)
        return cancelIndex;
    return resultId - PlainButtonIdBase;
}

void AlertDialog::loadAlertIcon(uint32_t newDpi)
{
    if (!iconId || !iconControl)
        return;
    int screen = static_cast<int>(SystemDpi());
    int32_t width = MulDiv(GetSystemMetrics(SM_CXICON), static_cast<int>(newDpi), screen);
    int32_t height = MulDiv(GetSystemMetrics(SM_CYICON), static_cast<int>(newDpi), screen);
    const wchar_t* name = MAKEINTRESOURCEW(iconId);
    HICON scaled = LoadScaledIcon(name, width, height);
    HICON loaded = scaled;
    if (!loaded) {
        // The shared system icon at its own size; it is never destroyed.
        loaded = LoadIconW(nullptr, name);
        width = GetSystemMetrics(SM_CXICON);
        height = GetSystemMetrics(SM_CYICON);
    }
    if (!loaded) {
        if (!iconControl->icon)
            iconControl->collapse(); // no icon at all: no empty room for one either
        return;
    }
    HICON previous = iconControl->setIcon(loaded, width, height);
    if (previous && previous == ownedIcon)
        DestroyIcon(previous);
    ownedIcon = scaled;
}

void AlertDialog::defaultProc(MessageRecord& record)
{
    switch (record.message) {
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(record.wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        record.result = reinterpret_cast<LRESULT>(windowBrush.brush());
        return;
    }
    case WM_DPICHANGED:
        loadAlertIcon(HIWORD(record.wParam));
        break;
    case WM_SHOWWINDOW:
        if (record.wParam)
            PostMessageW(hwnd, AlertShownMessage, 0, 0); // once the window is on the screen
        break;
    case AlertShownMessage:
        // What the system tells assistive technology when one of its own dialogs opens.
        NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, hwnd, OBJID_WINDOW, CHILDID_SELF);
        record.result = 0;
        return;
    }
    Dialog::defaultProc(record);
}

void AlertDialog::onPaint(MessageRecord& record)
{
    DrawContext context = beginPaint();
    context.selectFont(normalFont());
    int32_t lineHeight = 20;
    SIZE measured;
    if (context.dc() && GetTextExtentPoint32W(context.dc(), L"O", 1, &measured))
        lineHeight = measured.cy;
    RECT client = clientRect();
    int32_t split = client.bottom - lineHeight - scaled(30);
    context.fillSolid(RECT{client.left, client.top, client.right, split}, GetSysColor(COLOR_WINDOW));
    context.fillSolid(RECT{client.left, split, client.right, client.bottom}, GetSysColor(COLOR_BTNFACE));
    context.fillSolid(RECT{client.left, split, client.right, split + 1},
                      BlendColor(GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNFACE), 80));
}

void AlertDialog::onClose(MessageRecord& record)
{
    if (cancelIndex < 0)
        return; // neither the close box nor Alt+F4 ends an alert without a cancel button
    resultId = IDCANCEL;
    quitLoop();
}

void AlertDialog::onCommand(MessageRecord& record)
{
    int32_t id = LOWORD(record.wParam);
    bool accepted;
    if (id == IDOK)
        accepted = defaultIndex >= 0;
    else if (id == IDCANCEL)
        accepted = cancelIndex >= 0;
    else
        // Only the alert's own plain buttons: any other command would give an index it has not.
        accepted = id >= static_cast<int32_t>(PlainButtonIdBase) &&
                   id < static_cast<int32_t>(PlainButtonIdBase) + parsedButtons.count &&
                   parsedButtons.ids[id - PlainButtonIdBase] == static_cast<uint32_t>(id);
    if (!accepted)
        return;
    resultId = id;
    quitLoop();
}

bool AlertDialog::preTranslate(MSG* message)
{
    if (message->message == WM_KEYDOWN && message->wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
        copyToClipboard();
        return true;
    }
    return Dialog::preTranslate(message);
}

Str AlertDialog::clipboardText()
{
    return AlertClipboardText(getText(), messageText, parsedButtons);
}

void AlertDialog::copyToClipboard()
{
    CopyTextToClipboard(hwnd, clipboardText());
}

int32_t ShowAlert(Form* owner, const wchar_t* message, const wchar_t* title, const wchar_t* buttonSpec,
                  uint32_t alertFlags)
{
    AlertDialog alert(owner, Str(message), title, buttonSpec, alertFlags);
    return alert.run();
}

int32_t Form::alert(const wchar_t* message, const wchar_t* title, const wchar_t* buttonSpec, uint32_t alertFlags)
{
    return ShowAlert(this, message, title, buttonSpec, alertFlags);
}

int32_t Form::alertPieces(const wchar_t* const* pieces, const wchar_t* title, const wchar_t* buttonSpec,
                          uint32_t alertFlags)
{
    Str message = ConcatList(pieces);
    return alert(message.text(), title, buttonSpec, alertFlags);
}
