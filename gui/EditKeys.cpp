#include "gui/EditKeys.h"

WPARAM KeyOfMessage(const MSG* message)
{
    if (!message)
        return 0;
    switch (message->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        return message->wParam;
    default:
        return 0;
    }
}

bool EditWantsKey(uint32_t specialKeys, const MSG* message)
{
    switch (KeyOfMessage(message)) {
    case VK_RETURN:
        return (specialKeys & WantsEnter) != 0;
    case VK_TAB:
        return (specialKeys & WantsTab) != 0;
    case VK_ESCAPE:
        return (specialKeys & WantsEsc) != 0;
    case VK_UP:
    case VK_DOWN:
        // As characters these codes are '&' and '(': only the key messages count.
        return (specialKeys & WantsUpDown) && message->message != WM_CHAR;
    default:
        return false;
    }
}
