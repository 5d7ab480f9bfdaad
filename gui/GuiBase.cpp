#include "gui/GuiBase.h"

#include "core/AppContext.h"

GuiBase::~GuiBase() {}

HWND GuiBase::handle()
{
    return hwnd;
}

Str GuiBase::getText()
{
    if (!hwnd)
        throw InternalError();
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return Str();
    Str text = Str::Allocate(length);
    int copied = GetWindowTextW(hwnd, text.bufferForFilling(), length + 1);
    if (copied < length)
        return Str(text.text(), copied > 0 ? copied : 0);
    return text;
}

void GuiBase::setText(const wchar_t* text)
{
    if (!hwnd)
        throw InternalError();
    if (!text)
        text = L"";
    Str current = getText();
    if (current == text)
        return; // no repaint for the same text
    setTextAlways(text);
}

void GuiBase::setTextAlways(const wchar_t* text)
{
    if (!hwnd)
        throw InternalError();
    if (!SetWindowTextW(hwnd, text ? text : L""))
        ThrowLastError(nullptr, L"SetWindowTextW");
}

bool GuiBase::isShown()
{
    return shown;
}

// Shows with the given command; WS_TABSTOP comes back with the window.
static void ShowWith(GuiBase* object, int command)
{
    if (object->shown)
        return;
    object->shown = true;
    if (!object->hwnd)
        return;
    if (object->tabStopWhenShown) {
        LONG style = GetWindowLongW(object->hwnd, GWL_STYLE);
        if (!(style & WS_TABSTOP))
            SetWindowLongW(object->hwnd, GWL_STYLE, style | WS_TABSTOP);
    }
    ShowWindow(object->hwnd, command);
}

void GuiBase::show()
{
    ShowWith(this, SW_SHOW);
}

void GuiBase::showNoActivate()
{
    ShowWith(this, SW_SHOWNA);
}

void GuiBase::hide()
{
    if (!shown)
        return;
    shown = false;
    if (!hwnd)
        return;
    if (tabStopWhenShown) // a hidden window is no tab stop
        SetWindowLongW(hwnd, GWL_STYLE, GetWindowLongW(hwnd, GWL_STYLE) & ~WS_TABSTOP);
    ShowWindow(hwnd, SW_HIDE);
}

void GuiBase::vanish()
{
    if (!shown)
        return;
    shown = false;
    if (!hwnd)
        return;
    // An empty window region first: nothing of it shows from now on, and a system that composes no
    // windows repaints what lay beneath. (Moving it off the screen would not do: Wine unmaps such
    // a window, and waits.)
    HRGN nothing = CreateRectRgn(0, 0, 0, 0);
    if (nothing && !SetWindowRgn(hwnd, nothing, TRUE))
        DeleteObject(nothing); // the window owns the region once it is set
    DefWindowProcW(hwnd, WM_SETREDRAW, FALSE, 0);
}

RECT GuiBase::clientRect()
{
    RECT rectangle = {0, 0, 0, 0};
    if (hwnd && !GetClientRect(hwnd, &rectangle))
        rectangle = RECT{0, 0, 0, 0};
    return rectangle;
}

RECT GuiBase::windowRect()
{
    RECT rectangle = {0, 0, 0, 0};
    if (hwnd && !GetWindowRect(hwnd, &rectangle))
        rectangle = RECT{0, 0, 0, 0};
    return rectangle;
}

void GuiBase::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (hwnd)
        SetWindowPos(hwnd, nullptr, left, top, right - left, bottom - top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}

SizeLimits GuiBase::sizeLimits()
{
    return SizeLimits{0, 0, Unbounded, Unbounded};
}

POINT GuiBase::screenToClient(POINT point)
{
    if (hwnd)
        ScreenToClient(hwnd, &point);
    return point;
}

POINT GuiBase::clientToScreen(POINT point)
{
    if (hwnd)
        ClientToScreen(hwnd, &point);
    return point;
}

static bool Inside(const RECT& rectangle, POINT point)
{
    return point.x >= rectangle.left && point.x < rectangle.right && point.y >= rectangle.top &&
           point.y < rectangle.bottom;
}

bool GuiBase::hitClient(POINT clientPoint)
{
    return hwnd && Inside(clientRect(), clientPoint);
}

bool GuiBase::hitWindow(POINT screenPoint)
{
    return hwnd && Inside(windowRect(), screenPoint) && WindowFromPoint(screenPoint) == hwnd;
}

bool GuiBase::isMouseOver()
{
    POINT cursor;
    return shown && hwnd && GetCursorPos(&cursor) && hitWindow(cursor);
}

void GuiBase::invalidate()
{
    if (hwnd)
        InvalidateRect(hwnd, nullptr, FALSE);
}

void GuiBase::invalidateRect(const RECT& rectangle)
{
    if (hwnd)
        InvalidateRect(hwnd, &rectangle, FALSE);
}

void GuiBase::invalidateRectErase(const RECT& rectangle, bool erase)
{
    if (hwnd)
        InvalidateRect(hwnd, &rectangle, erase);
}

void GuiBase::validate()
{
    if (hwnd)
        ValidateRect(hwnd, nullptr);
}

void GuiBase::validateRect(const RECT& rectangle)
{
    if (hwnd)
        ValidateRect(hwnd, &rectangle);
}

void GuiBase::update()
{
    if (hwnd)
        UpdateWindow(hwnd);
}

DrawContext GuiBase::beginPaint()
{
    DrawContext context;
    if (hwnd)
        context.openPaintDC(hwnd);
    return context;
}

DrawContext GuiBase::windowDC()
{
    DrawContext context;
    if (hwnd)
        context.openWindowDC(hwnd);
    return context;
}

bool GuiBase::hasCapture()
{
    return hwnd && GetCapture() == hwnd;
}

void GuiBase::setCapture()
{
    if (hwnd)
        SetCapture(hwnd);
}

void GuiBase::releaseCapture()
{
    if (hasCapture())
        ReleaseCapture();
}

void GuiBase::popupMenuResource(uint32_t menuId, int32_t x, int32_t y)
{
    if (!hwnd)
        return;
    HMENU menu = LoadMenuW(AppInstance(), MAKEINTRESOURCEW(menuId));
    if (!menu)
        return;
    popupMenu(GetSubMenu(menu, 0), 0, x, y);
    DestroyMenu(menu);
}

void GuiBase::popupMenu(HMENU menu, uint32_t flags, int32_t x, int32_t y)
{
    if (!hwnd || !menu)
        return;
    POINT at = clientToScreen(POINT{x, y});
    UINT options = TPM_RIGHTBUTTON;
    if (flags & 1)
        options |= TPM_BOTTOMALIGN;
    if (flags & 2)
        options |= TPM_RIGHTALIGN;
    TrackPopupMenu(menu, options, at.x, at.y, 0, hwnd, nullptr);
}

void GuiBase::createCaret(int32_t width, int32_t height)
{
    if (hwnd)
        CreateCaret(hwnd, nullptr, width, height);
}

void GuiBase::setCaretPos(int32_t x, int32_t y)
{
    if (hwnd)
        SetCaretPos(x, y);
}

void GuiBase::showCaret()
{
    if (hwnd)
        ShowCaret(hwnd);
}

void GuiBase::hideCaret()
{
    if (hwnd)
        HideCaret(hwnd);
}

UINT_PTR GuiBase::setTimer(UINT_PTR id, uint32_t milliseconds)
{
    return hwnd ? SetTimer(hwnd, id, milliseconds, nullptr) : 0;
}

void GuiBase::killTimer(UINT_PTR id)
{
    if (hwnd)
        KillTimer(hwnd, id);
}

bool GuiBase::onIdle()
{
    return false;
}

bool GuiBase::preTranslate(MSG* message)
{
    return false;
}

bool GuiBase::reportError(const Error& error)
{
    return false;
}

bool GuiBase::usesOwnClass()
{
    return ownClass;
}

void GuiBase::process(MessageRecord& record)
{
    dispatch(record);
}

LRESULT GuiBase::send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return hwnd ? SendMessageW(hwnd, message, wParam, lParam) : 0;
}

LRESULT GuiBase::sendCommand(uint32_t id, uint32_t code)
{
    return send(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hwnd));
}

bool GuiBase::post(UINT message, WPARAM wParam, LPARAM lParam)
{
    return hwnd && PostMessageW(hwnd, message, wParam, lParam);
}

bool GuiBase::postCommand(uint32_t id, uint32_t code)
{
    return post(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hwnd));
}
