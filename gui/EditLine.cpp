#include "gui/EditLine.h"

#include "gui/EditKeys.h"
#include "gui/TextMeasure.h"

EditLine::EditLine(ControlGroup* parent) : Control(parent, EditLineId, ClientEdge)
{
    createWindow(L"EDIT", ES_AUTOHSCROLL, 0);
    followFormFont();
    show();
}

SizeLimits EditLine::sizeLimits()
{
    DrawContext context = OwnFontContext(*this);
    int32_t height = context.lineHeight() + 2 * scaled(paddingY);
    int32_t width = context.textExtent(L"ooooooo", 7).cx;
    naturalWidth = width;
    naturalHeight = height;
    return SizeLimits{width, height, Unbounded, height};
}

void EditLine::onChar(MessageRecord& record)
{
    switch (record.wParam) {
    case VK_TAB:
        notifyParent(EditLineId, EditLineTab);
        return;
    case VK_RETURN:
        notifyParent(EditLineId, EditLineEnter);
        return;
    case VK_ESCAPE:
        notifyParent(EditLineId, EditLineEsc);
        return;
    default:
        defaultProc(record);
    }
}

void EditLine::onKeyDown(MessageRecord& record)
{
    switch (record.wParam) {
    case VK_UP:
        notifyParent(EditLineId, EditLineUp);
        return;
    case VK_DOWN:
        notifyParent(EditLineId, EditLineDown);
        return;
    default:
        defaultProc(record);
    }
}

void EditLine::onGetDlgCode(MessageRecord& record)
{
    const MSG* message = reinterpret_cast<const MSG*>(record.lParam);
    if (message && specialKeys != 0 && EditWantsKey(specialKeys, message)) {
        record.result = DLGC_WANTALLKEYS;
        return;
    }
    defaultProc(record);
}
