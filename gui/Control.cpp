#include "gui/Control.h"

#include "core/AppContext.h"
#include "gui/ClassRegistry.h"
#include "gui/ControlGroup.h"
#include "gui/Dpi.h"
#include "gui/Form.h"
#include "gui/MessageLoop.h"
#include "gui/WindowProc.h"
#include "gui/WindowRegistry.h"

Control::Control(ControlGroup* parent, uint32_t id, uint32_t flags)
    : controlId(id), flags(flags), parent(parent)
{
    kind = KindChild;
}

Control::~Control()
{
    if (kind == KindChild)
        if (Form* owner = form())
            owner->childRemoved(this);
    if (parent && !(flags & Unmanaged))
        parent->removeChild(this);
    destroyWindow();
}

void Control::createWindow(const wchar_t* label, uint32_t classStyle, uint32_t extendedStyle)
{
    HINSTANCE instance = AppInstance();
    Str className(label);
    if (flags & OwnClass) {
        className = RegisterToolkitClass(instance, label, flags & 0x0F);
        ownClass = true;
    }
    DWORD style = 0;
    if (flags & VScroll)
        style |= WS_VSCROLL;
    if (flags & HScroll)
        style |= WS_HSCROLL;
    if (!(flags & NoTabStop))
        style |= WS_TABSTOP;
    if (flags & Border)
        style |= WS_BORDER;
    tabStopWhenShown = (style & WS_TABSTOP) != 0;
    DWORD extended = extendedStyle;
    if (flags & ClientEdge)
        extended |= WS_EX_CLIENTEDGE;

    if (parent && !(flags & Unmanaged))
        parent->addChild(this);
    if (flags & Windowless)
        return;

    // The object is registered only once the window exists: messages of the creation itself go
    // to DefWindowProcW or to the native procedure.
    HWND created = CreateWindowExW(extended, className.text(), nullptr,
                                   style | classStyle | WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0,
                                   0, parentHandle(), nullptr, instance, nullptr);
    if (!created)
        ThrowLastError(nullptr, L"CreateWindowExW");
    hwnd = created;
    RegisterWindow(this);
    SetWindowLongW(hwnd, GWL_ID, static_cast<LONG>(controlId));

    if (!(flags & OwnClass) && !savedProc) {
        WNDPROC native = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        if (native != ToolkitWindowProc) {
            savedProc = native;
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolkitWindowProc));
        }
    }
}

void Control::destroyWindow()
{
    if (!hwnd)
        return;
    ForgetLoopWindow(hwnd);
    if (savedProc) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(savedProc));
        savedProc = nullptr;
    }
    // Unregistered first: WM_DESTROY and what follows no longer reach the object.
    UnregisterWindow(hwnd);
    if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD))
        vanish(); // no hide step: the window is gone at once, the process free to end
    DestroyWindow(hwnd);
    hwnd = nullptr;
}

void Control::dispatch(MessageRecord& record)
{
    if (record.message == WM_GETOBJECT &&
        AnswerAccessibleObject(hwnd, accessible, record.wParam, record.lParam, record.result))
        return;
    GuiBase::dispatch(record);
}

void Control::defaultProc(MessageRecord& record)
{
    if (record.message == WM_GETDLGCODE && !shown && GetFocus() != hwnd) {
        record.result = DLGC_WANTCHARS; // the dialog manager passes over hidden controls
        return;
    }
    // A native procedure would destroy the window behind its object's back (and leave the handle
    // in the registry); closing a toolkit window never destroys it.
    if (record.message == WM_CLOSE)
        return;
    if (savedProc) {
        record.result =
            CallWindowProcW(savedProc, record.window, record.message, record.wParam, record.lParam);
        return;
    }
    if (record.message == WM_ERASEBKGND) {
        record.result = 1; // painting covers the background
        return;
    }
    GuiBase::defaultProc(record);
}

bool Control::reportError(const Error& error)
{
    return parent && parent->reportError(error);
}

uint32_t Control::id()
{
    return controlId;
}

Control* Control::windowedAncestor()
{
    for (Control* ancestor = parent; ancestor; ancestor = ancestor->parent)
        if (ancestor->hwnd)
            return ancestor;
    return nullptr;
}

HWND Control::parentHandle()
{
    if (!parent)
        return nullptr;
    return parent->hwnd ? parent->hwnd : parent->parentHandle();
}

HWND Control::anyHandle()
{
    return hwnd ? hwnd : parentHandle();
}

Form* Control::form()
{
    if (kind != KindChild)
        return nullptr;
    Control* root = this;
    while (root->parent)
        root = root->parent;
    if (root == this || root->kind != KindForm)
        return nullptr;
    return static_cast<Form*>(root);
}

bool Control::isSpace()
{
    return false;
}

bool Control::isCollapsed()
{
    return collapsed;
}

void Control::collapse()
{
    if (collapsed)
        return;
    collapsed = true;
    hide();
}

void Control::uncollapse()
{
    collapsed = false;
}

bool Control::hasFocus()
{
    return hwnd && GetFocus() == hwnd;
}

void Control::setFocus()
{
    if (hwnd)
        SetFocus(hwnd);
}

void Control::applyFont(const GdiObj& font)
{
    send(WM_SETFONT, reinterpret_cast<WPARAM>(font.handle()), FALSE);
}

void Control::setFont(const GdiObj& font)
{
    if (followsFormFont)
        unfollowFormFont();
    applyFont(font);
}

void Control::setFontHandle(HFONT font)
{
    if (followsFormFont)
        unfollowFormFont();
    send(WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Control::selectOwnFont(DrawContext& context)
{
    HFONT font = reinterpret_cast<HFONT>(send(WM_GETFONT, 0, 0));
    if (font)
        context.selectFontHandle(font);
}

GdiObj Control::normalFont()
{
    Form* owner = form();
    return owner ? owner->normalFont() : GdiObj();
}

GdiObj Control::boldFont()
{
    Form* owner = form();
    return owner ? owner->boldFont() : GdiObj();
}

void Control::followFormFont()
{
    if (Form* owner = form()) {
        owner->addFontFollower(this);
        followsFormFont = true;
    }
}

void Control::unfollowFormFont()
{
    if (!followsFormFont)
        return;
    if (Form* owner = form())
        owner->removeFontFollower(this);
    followsFormFont = false;
}

bool Control::tooltipAt(POINT screenPoint, Str& text)
{
    if (!hwnd || !shown || !hitWindow(screenPoint))
        return false;
    text = tooltipText;
    return true;
}

void Control::setTooltip(const wchar_t* text)
{
    tooltipText = Str(text);
}

uint32_t Control::idAt(POINT screenPoint)
{
    return hwnd && shown && hitWindow(screenPoint) ? id() : 0;
}

uint32_t Control::dpi()
{
    return parent ? parent->dpi() : SystemDpi();
}

uint32_t Control::systemDpi()
{
    return SystemDpi();
}

LRESULT Control::sendToParent(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND target = parentHandle();
    return target ? SendMessageW(target, message, wParam, lParam) : 0;
}

LRESULT Control::notifyParent(uint32_t id, uint32_t code)
{
    return sendToParent(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hwnd));
}

bool Control::postToParent(uint32_t id, uint32_t code)
{
    HWND target = parentHandle();
    return target && PostMessageW(target, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hwnd));
}

void Control::paintBackground(DrawContext& context, const RECT& rectangle)
{
    if (parent)
        parent->paintBackground(context, rectangle);
    else
        context.fillSolid(rectangle, GetSysColor(COLOR_BTNFACE));
}

DrawContext Control::drawingDC()
{
    if (hwnd)
        return windowDC();
    if (!parent)
        throw InternalError();
    return parent->drawingDC();
}
