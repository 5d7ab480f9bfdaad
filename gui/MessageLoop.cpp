// Form: the message loop. Loops nest (a modal dialog runs its own inside a handler of the outer
// one); each form has its own quit flag, so closing the dialog ends only the inner loop.
#include "gui/Form.h"
#include "gui/MessageLoop.h"

#include "gui/WindowRegistry.h"

HWND OpenPopup = nullptr;
WPARAM LastMouseKeys = 0;
POINT LastMousePoint = {0, 0};
bool LastInputFromKeyboard = false;
HWND MouseTracked = nullptr;

void ForgetLoopWindow(HWND window)
{
    if (!window)
        return;
    if (OpenPopup == window)
        OpenPopup = nullptr;
    if (MouseTracked == window)
        MouseTracked = nullptr;
}

void Form::loopStep()
{
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        processMessage(message);
        return;
    }
    if (quit)
        return;
    if (!idle())
        WaitMessage();
}

void Form::runLoop()
{
    quit = false;
    while (!quit)
        loopStep();
}

void Form::pumpMessages()
{
    quit = false;
    MSG message;
    while (!quit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        processMessage(message);
}

void Form::quitLoop()
{
    quit = true;
    if (hwnd)
        PostMessageW(hwnd, WM_NULL, 0, 0); // wakes a loop that waits for messages
}

static bool ClosesPopup(UINT message)
{
    switch (message) {
    case WM_ACTIVATE:
    case WM_CANCELMODE:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_SYSCOMMAND:
        return true;
    default:
        return false;
    }
}

// Button messages (double clicks excluded): 1 in the client area, 2 in the frame, else 0.
static int ButtonMessageArea(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        return 1;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONUP:
        return 2;
    default:
        return 0;
    }
}

// Notes the keys and position of mouse messages and closes the open popup on user input.
static void WatchInput(const MSG& message)
{
    int buttonArea = ButtonMessageArea(message.message);
    if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN)
        LastInputFromKeyboard = true;
    if (buttonArea) {
        LastInputFromKeyboard = false;
        LastMouseKeys = message.wParam;
        POINT point = {static_cast<short>(LOWORD(message.lParam)),
                       static_cast<short>(HIWORD(message.lParam))};
        if (buttonArea == 1 && message.hwnd)
            ClientToScreen(message.hwnd, &point);
        LastMousePoint = point;
    } else if (message.message == WM_MOUSEMOVE || message.message == WM_NCMOUSEMOVE) {
        LastMouseKeys = message.wParam;
    }
    if (OpenPopup && (buttonArea || ClosesPopup(message.message))) {
        HWND popup = OpenPopup;
        OpenPopup = nullptr;
        SendMessageW(popup, WM_CLOSE, 0, 0);
    }
}

// Windows do not tell a window that the mouse left it unless asked every time; the loop does it
// for the toolkit's own windows, with any timer message as its clock.
static void EmulateMouseLeave(const MSG& message)
{
    if ((message.message == WM_MOUSEMOVE && message.hwnd) || message.message == WM_NCMOUSEMOVE) {
        GuiBase* object = FindWindowObject(message.hwnd);
        if (!object || !object->usesOwnClass())
            return;
        if (!MouseTracked) {
            MouseTracked = message.hwnd;
        } else if (MouseTracked != message.hwnd) {
            HWND left = MouseTracked;
            MouseTracked = message.hwnd;
            SendMessageW(left, WM_MOUSELEAVE, 0, 0);
        }
    } else if (message.message == WM_TIMER && MouseTracked) {
        if (GetCapture() == MouseTracked)
            return;
        POINT cursor;
        if (GetCursorPos(&cursor) && WindowFromPoint(cursor) == MouseTracked)
            return;
        HWND left = MouseTracked;
        MouseTracked = nullptr;
        SendMessageW(left, WM_MOUSELEAVE, 0, 0);
    }
}

void Form::processMessage(MSG& message)
{
    WatchInput(message);
    EmulateMouseLeave(message);

    HWND top = message.hwnd;
    while (top && (GetWindowLongW(top, GWL_STYLE) & WS_CHILD)) {
        HWND above = GetParent(top);
        if (!above)
            break;
        top = above;
    }
    if (GuiBase* object = FindWindowObject(top))
        if (object->preTranslate(&message))
            return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

bool Form::preTranslate(MSG* message)
{
    if (accelerators && TranslateAcceleratorW(hwnd, accelerators, message))
        return true;
    return dialogKeys && IsDialogMessageW(hwnd, message);
}

bool Form::idle()
{
    if (modalWindow)
        return false;
    bool wantsMore = false;
    for (int64_t i = 0; i < idleObjects.length(); i++)
        if (static_cast<GuiBase*>(idleObjects.ref(i))->onIdle())
            wantsMore = true;
    return wantsMore;
}
