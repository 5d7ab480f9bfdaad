#include "gui/AlertButtons.h"

#include "core/Error.h"

#include <windows.h>

AlertButtons ParseAlertButtons(const wchar_t* buttons)
{
    AlertButtons parsed;
    parsed.count = 0;
    parsed.defaultIndex = -1;
    parsed.cancelIndex = -1;
    int64_t length = buttons ? TextLength(buttons) : 0;
    if (length == 0)
        throw InternalError();
    int64_t start = 0;
    while (start < length) {
        int64_t end = start;
        while (end < length && buttons[end] != L'|')
            end++;
        if (end == start || parsed.count == MaxAlertButtons)
            throw InternalError();
        int32_t index = parsed.count++;
        const wchar_t* caption = buttons + start;
        int64_t captionLength = end - start;
        if (*caption == L'+' || *caption == L'-') {
            bool isDefault = *caption == L'+';
            int32_t& marked = isDefault ? parsed.defaultIndex : parsed.cancelIndex;
            if (marked >= 0)
                throw InternalError(); // two buttons with one id
            marked = index;
            parsed.ids[index] = isDefault ? IDOK : IDCANCEL;
            caption++;
            captionLength--;
        } else {
            parsed.ids[index] = PlainButtonIdBase + static_cast<uint32_t>(index);
        }
        parsed.captions[index] = Str(caption, captionLength);
        start = end + 1;
    }
    return parsed;
}
