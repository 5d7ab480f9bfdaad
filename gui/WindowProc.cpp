#include "gui/WindowProc.h"

#include "gui/GuiBase.h"
#include "gui/WindowRegistry.h"

static bool ReportingError = false; // an error report is on its way: later errors are dropped

// A handler that threw left its WM_PAINT unfinished; without validation the window would get
// WM_PAINT again at once, for ever.
static void ValidateAfterFailedPaint(HWND window, UINT message)
{
    if (message != WM_PAINT)
        return;
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
}

LRESULT CALLBACK ToolkitWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    GuiBase* object = FindWindowObject(window);
    if (!object)
        return DefWindowProcW(window, message, wParam, lParam);
    MessageRecord record = {window, message, wParam, lParam, 0};
    try {
        object->dispatch(record);
        return record.result;
    } catch (const Error& error) {
        ValidateAfterFailedPaint(window, message);
        if (ReportingError)
            return 0;
        ReportingError = true;
        try {
            object->reportError(error);
        } catch (...) {
        }
        ReportingError = false;
        return 0;
    } catch (...) {
        ValidateAfterFailedPaint(window, message);
        return 0;
    }
}

void GuiBase::dispatch(MessageRecord& record)
{
    switch (record.message) {
    case WM_PAINT:
        return onPaint(record);
    case WM_PRINTCLIENT:
        return onPrintClient(record);
    case WM_SIZE:
        return onSize(record);
    case WM_CREATE:
        return onCreate(record);
    case WM_DESTROY:
        return onDestroy(record);
    case WM_ACTIVATE:
        return LOWORD(record.wParam) == 0 ? onDeactivate(record) : onActivate(record);
    case WM_ACTIVATEAPP:
        return LOWORD(record.wParam) == 0 ? onAppDeactivate(record) : onAppActivate(record);
    case WM_SHOWWINDOW:
        return record.wParam != 0 ? onShown(record) : onHidden(record);
    case WM_SETFOCUS:
        return onSetFocus(record);
    case WM_KILLFOCUS:
        return onKillFocus(record);
    case WM_CANCELMODE:
        return onCancelMode(record);
    case WM_MOUSEMOVE:
        return onMouseMove(record);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return onLButtonDown(record);
    case WM_LBUTTONUP:
        return onLButtonUp(record);
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return onRButtonDown(record);
    case WM_RBUTTONUP:
        return onRButtonUp(record);
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return onMButtonDown(record);
    case WM_MBUTTONUP:
        return onMButtonUp(record);
    case WM_MOUSEWHEEL:
        return onMouseWheel(record);
    case WM_MOUSELEAVE:
        return onMouseLeave(record);
    case WM_VSCROLL:
        return onVScroll(record);
    case WM_HSCROLL:
        return onHScroll(record);
    case WM_CHAR:
        return onChar(record);
    case WM_KEYDOWN:
        return onKeyDown(record);
    case WM_KEYUP:
        return onKeyUp(record);
    case WM_TIMER:
        return onTimer(record);
    case WM_CLOSE:
        return onClose(record);
    case WM_COMMAND:
        return onCommand(record);
    case WM_NOTIFY:
        return onNotify(record);
    case WM_GETDLGCODE:
        return onGetDlgCode(record);
    case WM_CONTEXTMENU:
        return onContextMenu(record);
    default:
        return defaultProc(record);
    }
}

void GuiBase::defaultProc(MessageRecord& record)
{
    if (!record.window)
        return;
    switch (record.message) {
    case WM_CLOSE:
        return; // closing never destroys a toolkit window; forms react in onClose
    case WM_NCCALCSIZE:
        record.result = DefWindowProcW(record.window, record.message, record.wParam, record.lParam);
        if (record.wParam) {
            // No old client pixels are copied when the window is resized.
            NCCALCSIZE_PARAMS* sizes = reinterpret_cast<NCCALCSIZE_PARAMS*>(record.lParam);
            sizes->rgrc[1] = RECT{0, 0, 0, 0};
            sizes->rgrc[2] = RECT{0, 0, 0, 0};
            record.result = WVR_VALIDRECTS;
        }
        return;
    default:
        record.result = DefWindowProcW(record.window, record.message, record.wParam, record.lParam);
        return;
    }
}

#define DEFAULT_HANDLER(name)                                                                                \
    void GuiBase::name(MessageRecord& record)                                                                \
    {                                                                                                        \
        defaultProc(record);                                                                                 \
    }

DEFAULT_HANDLER(onPaint)
DEFAULT_HANDLER(onPrintClient)
DEFAULT_HANDLER(onSize)
DEFAULT_HANDLER(onCreate)
DEFAULT_HANDLER(onDestroy)
DEFAULT_HANDLER(onDeactivate)
DEFAULT_HANDLER(onActivate)
DEFAULT_HANDLER(onAppDeactivate)
DEFAULT_HANDLER(onAppActivate)
DEFAULT_HANDLER(onShown)
DEFAULT_HANDLER(onHidden)
DEFAULT_HANDLER(onSetFocus)
DEFAULT_HANDLER(onKillFocus)
DEFAULT_HANDLER(onCancelMode)
DEFAULT_HANDLER(onMouseMove)
DEFAULT_HANDLER(onLButtonDown)
DEFAULT_HANDLER(onLButtonUp)
DEFAULT_HANDLER(onRButtonDown)
DEFAULT_HANDLER(onRButtonUp)
DEFAULT_HANDLER(onMButtonDown)
DEFAULT_HANDLER(onMButtonUp)
DEFAULT_HANDLER(onMouseWheel)
DEFAULT_HANDLER(onMouseLeave)
DEFAULT_HANDLER(onVScroll)
DEFAULT_HANDLER(onHScroll)
DEFAULT_HANDLER(onChar)
DEFAULT_HANDLER(onKeyDown)
DEFAULT_HANDLER(onKeyUp)
DEFAULT_HANDLER(onTimer)
DEFAULT_HANDLER(onClose)
DEFAULT_HANDLER(onCommand)
DEFAULT_HANDLER(onNotify)
DEFAULT_HANDLER(onGetDlgCode)
DEFAULT_HANDLER(onContextMenu)
