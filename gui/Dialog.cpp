#include "gui/Dialog.h"

#include "gui/WorkArea.h"

#include <algorithm>

Dialog::Dialog(Form* owner, uint32_t formId, const wchar_t* title) : Dialog()
{
    initDialog(owner, formId, title);
}

void Dialog::initDialog(Form* owner, uint32_t newId, const wchar_t* title)
{
    dialogOwner = owner;
    ownerDisabled = false;
    maxInitialWidth = 400;
    maxInitialHeight = 300;
    initForm(FormDialogFrame, L"Dialog", owner, newId);
    setTitle(title);
}

Dialog::~Dialog()
{
    if (ownerDisabled && dialogOwner) {
        dialogOwner->enableAfterModal(this);
        ownerDisabled = false;
    }
}

void Dialog::defaultProc(MessageRecord& record)
{
    if (record.message == WM_HELP && dialogOwner) {
        HELPINFO* help = reinterpret_cast<HELPINFO*>(record.lParam);
        help->iContextType = 2;
        help->iCtrlId = static_cast<int>(formId);
        record.result = dialogOwner->send(WM_HELP, record.wParam, record.lParam);
        return;
    }
    Form::defaultProc(record);
}

bool Dialog::reportError(const Error& error)
{
    return dialogOwner && dialogOwner->reportError(error);
}

void Dialog::fitToContent()
{
    setDpi(0);
    rebuildFonts(dpiValue);
    placeForContent();
}

void Dialog::placeForContent()
{
    int scaled = static_cast<int>(dpi());
    SizeLimits limits = sizeLimits();
    int32_t width = std::max(limits.minWidth, std::min(limits.maxWidth, MulDiv(maxInitialWidth, scaled, 96)));
    int32_t height =
        std::max(limits.minHeight, std::min(limits.maxHeight, MulDiv(maxInitialHeight, scaled, 96)));
    RECT placed;
    if (dialogOwner) {
        RECT around = dialogOwner->windowRect();
        int32_t left = around.left + ((around.right - around.left) - width) / 2;
        int32_t top = around.top + ((around.bottom - around.top) - height) / 2;
        placed = FitRectToWorkArea(RECT{left, top, left + width, top + height});
    } else {
        placed = CentreRectInWorkArea(RECT{0, 0, width, height});
    }
    setBoundsRect(placed);
}

void Dialog::runModal(Control* focus)
{
    fitToContent();
    show();
    fitToContent(); // the window may now lie on a monitor of another DPI
    if (dialogOwner && !ownerDisabled) {
        dialogOwner->disableForModal(this);
        ownerDisabled = true;
    }
    if (focus)
        focus->setFocus();
    runLoop();
    if (dialogOwner && ownerDisabled) {
        dialogOwner->enableAfterModal(this);
        ownerDisabled = false;
        SetActiveWindow(dialogOwner->hwnd); // what hiding the active dialog would have done
    }
    vanish(); // its caller destroys it next
}
