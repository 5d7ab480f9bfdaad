#include "gui/Clipboard.h"

#include "core/Error.h"
#include "core/GlobalBlock.h"

#include <string.h>

// The clipboard, open for one window while this lives. A failure's code is read when the error is
// built, before the unwinding closes the clipboard.
struct OpenedClipboard {
    explicit OpenedClipboard(HWND window)
    {
        if (!OpenClipboard(window))
            ThrowLastError(nullptr, L"OpenClipboard");
    }
    ~OpenedClipboard() { CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

void CopyTextToClipboard(HWND window, const Str& text)
{
    int64_t length = text.length();
    GlobalBlock block;
    block.allocate(2 * length + 2);
    wchar_t* units = static_cast<wchar_t*>(block.lock());
    memcpy(units, text.text(), static_cast<size_t>(length) * sizeof(wchar_t));
    units[length] = 0;
    block.unlock();

    OpenedClipboard clipboard(window);
    if (!EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, block.handle))
        ThrowLastError(nullptr, L"SetClipboardData");
    block.detach(); // the clipboard owns it now
}
