// Form: DPI, fonts, icons and size limits, and following a move to a monitor of another DPI.
#include "gui/Form.h"

#include "core/AppContext.h"
#include "gui/Dpi.h"

#include <algorithm>
#include <utility>

uint32_t Form::measuredDpi()
{
    uint32_t measured = 0;
    if (hwnd)
        measured = MonitorDpi(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
    if (measured == 0)
        measured = SystemDpi();
    return measured ? measured : 96;
}

uint32_t Form::dpi()
{
    if (dpiValue < 96)
        dpiValue = measuredDpi();
    return dpiValue;
}

void Form::setDpi(uint32_t newDpi)
{
    dpiValue = newDpi < 96 ? measuredDpi() : newDpi;
}

int32_t Form::buttonHeightAdjust()
{
    return heightAdjust;
}

void Form::rebuildFonts(uint32_t newDpi)
{
    if (newDpi < 96)
        newDpi = measuredDpi();
    dpiValue = newDpi;
    heightAdjust = 0;

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = 504; // with iPaddedBorderWidth
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        LOGFONTW message = metrics.lfMessageFont;
        message.lfHeight = MulDiv(message.lfHeight, static_cast<int>(newDpi), static_cast<int>(SystemDpi()));
        normalFontObj.makeFont(&message);
        message.lfWeight = FW_BOLD;
        boldFontObj.makeFont(&message);
    } else {
        normalFontObj.makeFont(nullptr);
        DrawContext screen;
        screen.openWindowDC(nullptr);
        screen.selectFont(normalFontObj);
        Str face = screen.textFace();
        TEXTMETRICW text = {};
        GetTextMetricsW(screen.dc(), &text);
        boldFontObj.makeBoldFont(face.text(), text.tmHeight);
    }

    for (int64_t i = 0; i < fontFollowers.length(); i++)
        static_cast<Control*>(fontFollowers.ref(i))->applyFont(normalFontObj);
}

GdiObj Form::normalFont()
{
    if (normalFontObj.isNull())
        rebuildFonts(dpiValue);
    return normalFontObj;
}

GdiObj Form::boldFont()
{
    if (boldFontObj.isNull())
        rebuildFonts(dpiValue);
    return boldFontObj;
}

// An icon resource at the size of the system metrics scaled from the screen's DPI to the form's.
static HICON LoadIconAtDpi(HINSTANCE instance, uint32_t resourceId, int widthMetric, int heightMetric,
                           uint32_t dpi)
{
    int screen = static_cast<int>(SystemDpi());
    int width = MulDiv(static_cast<int>(dpi), GetSystemMetrics(widthMetric), screen);
    int height = MulDiv(static_cast<int>(dpi), GetSystemMetrics(heightMetric), screen);
    return LoadModuleIcon(instance, resourceId, width, height);
}

void Form::loadIcon(uint32_t resourceId)
{
    HINSTANCE instance = AppInstance();
    if (!hwnd)
        return;
    iconResourceId = resourceId;
    OwnedIcon big(LoadIconAtDpi(instance, resourceId, SM_CXICON, SM_CYICON, dpi()));
    // Without an image of its own size, the shared icon of the resource (never destroyed).
    HICON shownBig = big ? big.get() : LoadIconW(instance, MAKEINTRESOURCEW(resourceId));
    if (!shownBig)
        ThrowLastError(nullptr, L"LoadIconW");
    send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(shownBig));
    bigIcon = std::move(big); // the one shown before is no longer in use
    // The small icon is a nicety: without one the system shrinks the big one.
    OwnedIcon small(LoadIconAtDpi(instance, resourceId, SM_CXSMICON, SM_CYSMICON, dpi()));
    if (small) {
        send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
        smallIcon = std::move(small);
    }
}

SizeLimits Form::sizeLimits()
{
    normalFont(); // the DPI is known and the fonts exist before the content measures
    RECT outer = windowRect();
    int32_t horizontal;
    int32_t vertical;
    if (outer.left <= -30000 || outer.top <= -30000) {
        // A minimized window lies at -32000 with no client area: compute the frame instead.
        RECT frame = {0, 0, 0, 0};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)),
                           GetMenu(hwnd) != nullptr, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
        // The frame comes at the screen's DPI; it is scaled from there, not from 96.
        int scaled = static_cast<int>(dpi());
        int screen = static_cast<int>(SystemDpi());
        horizontal = MulDiv(frame.right, scaled, screen) - MulDiv(frame.left, scaled, screen);
        vertical = MulDiv(frame.bottom, scaled, screen) - MulDiv(frame.top, scaled, screen);
    } else {
        RECT inner = clientRect();
        horizontal = (outer.right - outer.left) - (inner.right - inner.left);
        vertical = (outer.bottom - outer.top) - (inner.bottom - inner.top);
    }
    SizeLimits limits = content ? content->sizeLimits() : SizeLimits{0, 0, Unbounded, Unbounded};
    limits.minWidth += horizontal;
    limits.maxWidth += horizontal;
    limits.minHeight += vertical;
    limits.maxHeight += vertical;
    return limits;
}

void Form::onDpiChanged(MessageRecord& record)
{
    record.result = 0;
    setDpi(HIWORD(record.wParam));
    rebuildFonts(dpiValue);
    Control* held = content;
    try {
        if (iconResourceId)
            loadIcon(iconResourceId);
        // Twice: the frame may change with the DPI, and the second pass measures it after the move.
        for (int pass = 0; pass < 2; pass++) {
            RECT suggested = *reinterpret_cast<const RECT*>(record.lParam);
            SizeLimits limits = sizeLimits();
            int32_t suggestedWidth = suggested.right - suggested.left;
            int32_t suggestedHeight = suggested.bottom - suggested.top;
            int32_t width = std::max(limits.minWidth, std::min(limits.maxWidth, suggestedWidth));
            int32_t height = std::max(limits.minHeight, std::min(limits.maxHeight, suggestedHeight));
            int32_t left = suggested.left + (suggestedWidth - width) / 2;
            int32_t top = suggested.top + (suggestedHeight - height) / 2;
            content = nullptr; // one layout at the end, not one per move
            setBounds(left, top, left + width, top + height);
            content = held;
        }
        if (content)
            content->setBoundsRect(clientRect());
    } catch (...) {
        content = held;
    }
}

// What the dialog manager asks of a form that is no dialog window: the mnemonic of a label moves
// the focus to the label, then on to the next tab stop (the control that the label names).
void Form::moveFocus(MessageRecord& record)
{
    record.result = 0;
    HWND target = record.lParam ? reinterpret_cast<HWND>(record.wParam)
                                : GetNextDlgTabItem(hwnd, GetFocus(), record.wParam != 0);
    if (!target)
        return;
    SetFocus(target);
    // As in a dialog: an edit control that gets the focus this way has its text selected.
    if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageW(target, EM_SETSEL, 0, -1);
}

void Form::defaultProc(MessageRecord& record)
{
    switch (record.message) {
    case WM_ERASEBKGND:
        record.result = 1;
        return;
    case WM_GETMINMAXINFO: {
        SizeLimits limits = sizeLimits();
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(record.lParam);
        info->ptMinTrackSize = POINT{limits.minWidth, limits.minHeight};
        info->ptMaxTrackSize = POINT{limits.maxWidth, limits.maxHeight};
        return;
    }
    case WM_SYSCOMMAND:
        if (!sizingCommands) {
            WPARAM command = record.wParam & 0xFFF0;
            if (command == SC_SIZE || command == SC_MINIMIZE || command == SC_MAXIMIZE ||
                command == SC_RESTORE) {
                record.result = 0;
                return;
            }
        }
        break;
    case WM_DPICHANGED:
        onDpiChanged(record);
        return;
    case WM_NEXTDLGCTL:
        moveFocus(record);
        return;
    }
    GuiBase::defaultProc(record);
}
