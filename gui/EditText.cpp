#include "gui/EditText.h"

#include "gui/EditKeys.h"
#include "gui/TextMeasure.h"

EditText::EditText(ControlGroup* parent, const wchar_t* tooltip) : Control(parent, EditTextId, ClientEdge)
{
    createWindow(L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL, 0);
    if (tooltip && *tooltip)
        setTooltip(tooltip);
    followFormFont();
    show();
}

SizeLimits EditText::sizeLimits()
{
    DrawContext context = OwnFontContext(*this);
    int64_t line = context.lineHeight();
    int32_t padding = 2 * scaled(paddingY);
    return SizeLimits{50, CheckInt(line * minLines + padding), Unbounded, CheckInt(line * maxLines + padding)};
}

void EditText::onGetDlgCode(MessageRecord& record)
{
    const MSG* message = reinterpret_cast<const MSG*>(record.lParam);
    if (message && specialKeys != 0) {
        if (EditWantsKey(specialKeys & ~WantsUpDown, message)) {
            record.result = DLGC_WANTALLKEYS;
            return;
        }
    } else if (message) {
        WPARAM key = KeyOfMessage(message);
        if (key == VK_RETURN || key == VK_TAB) {
            record.result = 0; // the dialog manager moves the focus or presses the default button
            return;
        }
    }
    defaultProc(record);
}
