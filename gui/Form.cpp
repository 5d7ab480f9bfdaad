#include "gui/Form.h"

#include "core/AppContext.h"
#include "gui/ClassRegistry.h"
#include "gui/MessageLoop.h"
#include "gui/Tooltip.h"
#include "gui/WindowRegistry.h"

Form::Form() : ControlGroup(nullptr, 0, 0)
{
    kind = KindForm;
}

Form::Form(uint32_t formFlags, const wchar_t* label, Form* owner, uint32_t formId) : Form()
{
    initForm(formFlags, label, owner, formId);
}

void Form::initForm(uint32_t newFlags, const wchar_t* label, Form* owner, uint32_t newId)
{
    content = nullptr;
    focusMemory = nullptr;
    modalWindow = nullptr;
    tooltip = nullptr;
    dpiValue = 0;
    heightAdjust = 0;
    sizingCommands = false;
    kind = KindForm;
    formFlags = newFlags;
    formId = newId;
    formOwner = owner;
    createFormWindow(label);
    if (!(formFlags & FormNoTooltip))
        tooltip = new Tooltip(this);
}

// Window style and extended style of the form flags.
static void FormStyles(uint32_t formFlags, DWORD& style, DWORD& extended, bool& dialogKeys)
{
    style = 0;
    extended = 0;
    if (formFlags & FormMain) {
        style = WS_OVERLAPPEDWINDOW;
        extended = WS_EX_APPWINDOW;
        if (formFlags & FormToolWindow)
            extended |= WS_EX_TOOLWINDOW;
    } else {
        style = WS_POPUP;
        if (formFlags & (FormDialogFrame | FormResizableDialog)) {
            style |= WS_CAPTION | WS_SYSMENU;
            extended |= WS_EX_DLGMODALFRAME;
            dialogKeys = true;
        }
        if (formFlags & FormResizableDialog)
            style |= WS_THICKFRAME;
        if (formFlags & FormDialogModalFrame) {
            style |= WS_DLGFRAME;
            extended |= WS_EX_DLGMODALFRAME;
        }
        if (formFlags & FormToolWindow) {
            style |= WS_CAPTION | WS_SYSMENU;
            extended |= WS_EX_TOOLWINDOW;
        }
    }
    if (formFlags & FormBorder)
        style |= WS_BORDER;
    if (formFlags & FormTopMost)
        extended |= WS_EX_TOPMOST;
    if (formFlags & FormNoActivate)
        extended |= WS_EX_NOACTIVATE;
    if (formFlags & FormMinimizeBox)
        style |= WS_MINIMIZEBOX;
    style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
}

void Form::createFormWindow(const wchar_t* label)
{
    HINSTANCE instance = AppInstance();
    DWORD style;
    DWORD extended;
    FormStyles(formFlags, style, extended, dialogKeys);
    Str className = RegisterToolkitClass(instance, label, formFlags & FormDropShadow ? 0x21 : 0x01);

    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HWND ownerWindow = nullptr;
    if (formOwner) {
        RECT around = formOwner->windowRect();
        x = around.left;
        y = around.top;
        width = around.right - around.left;
        height = around.bottom - around.top;
        ownerWindow = formOwner->hwnd;
    }
    HWND created = CreateWindowExW(extended, className.text(), nullptr, style, x, y, width, height,
                                   ownerWindow, nullptr, instance, nullptr);
    if (!created)
        ThrowLastError(nullptr, L"CreateWindowExW");
    hwnd = created;
    RegisterWindow(this);

    sizingCommands = (formFlags & (FormMain | FormResizableDialog)) != 0;
    if (!sizingCommands) {
        HMENU systemMenu = GetSystemMenu(hwnd, FALSE);
        if (systemMenu) {
            DeleteMenu(systemMenu, SC_RESTORE, MF_BYCOMMAND);
            DeleteMenu(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
            DeleteMenu(systemMenu, SC_MINIMIZE, MF_BYCOMMAND);
            DeleteMenu(systemMenu, SC_SIZE, MF_BYCOMMAND);
            UINT second = GetMenuState(systemMenu, 1, MF_BYPOSITION);
            if (second != static_cast<UINT>(-1) && (second & MF_SEPARATOR))
                DeleteMenu(systemMenu, 1, MF_BYPOSITION);
        }
    }
}

Form::~Form()
{
    ForgetLoopWindow(hwnd);
    if (tooltip) {
        Tooltip* own = tooltip;
        delete own; // its destructor forgets it here
        tooltip = nullptr;
    }
    if (content) {
        Control* own = content;
        delete own; // its destructor removes it here
        content = nullptr;
    }
    destroyWindow();
    fontFollowers.release();
    normalFontObj.reset();
    boldFontObj.reset();
    idleObjects.release();
}

void Form::setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    sizedByWmSize = false;
    ControlGroup::setBounds(left, top, right, bottom);
    if (content && !sizedByWmSize)
        content->setBoundsRect(clientRect());
}

void Form::onSize(MessageRecord& record)
{
    defaultProc(record);
    if (content) {
        sizedByWmSize = true;
        content->setBoundsRect(clientRect());
    }
}

void Form::onPaint(MessageRecord& record)
{
    DrawContext context = beginPaint();
    context.fillSolid(clientRect(), GetSysColor(COLOR_BTNFACE));
}

void Form::onClose(MessageRecord& record)
{
    quit = true;
}

// The form is among the control's ancestors.
static bool HoldsControl(Form* form, Control* control)
{
    for (Control* ancestor = control->parent; ancestor; ancestor = ancestor->parent)
        if (ancestor == form)
            return true;
    return false;
}

void Form::onDeactivate(MessageRecord& record)
{
    if (HIWORD(record.wParam) == 0) { // not while being minimized
        GuiBase* focused = FindWindowObject(GetFocus());
        if (focused && focused->kind == KindChild && HoldsControl(this, static_cast<Control*>(focused)))
            focusMemory = static_cast<Control*>(focused);
    }
    defaultProc(record);
}

void Form::onActivate(MessageRecord& record)
{
    defaultProc(record);
    bool minimized = HIWORD(record.wParam) != 0;
    // A control destroyed meanwhile has left the registry (and was forgotten by childRemoved).
    if (focusMemory && !minimized && focusMemory->hwnd &&
        FindWindowObject(focusMemory->hwnd) == focusMemory && HoldsControl(this, focusMemory))
        focusMemory->setFocus();
    else
        SetFocus(hwnd);
}

bool Form::reportError(const Error& error)
{
    return formOwner && formOwner->reportError(error);
}

uint32_t Form::id()
{
    return formId;
}

bool Form::tooltipAt(POINT screenPoint, Str& text)
{
    return content && content->tooltipAt(screenPoint, text);
}

uint32_t Form::idAt(POINT screenPoint)
{
    return content ? content->idAt(screenPoint) : 0;
}

DrawContext Form::drawingDC()
{
    if (!hwnd)
        throw InternalError();
    return windowDC();
}

void Form::removeChild(Control* child)
{
    if (content == child)
        content = nullptr;
}

void Form::addChild(Control* child)
{
    if (content)
        throw InternalError();
    content = child;
}

Form* Form::owner()
{
    return formOwner;
}

void Form::setTitle(const wchar_t* title)
{
    setText(title);
}

bool Form::isMenuChecked(uint32_t itemId)
{
    HMENU menu = hwnd ? GetMenu(hwnd) : nullptr;
    if (!menu)
        return false;
    UINT state = GetMenuState(menu, itemId, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}

void Form::setMenuChecked(uint32_t itemId, bool checked)
{
    if (HMENU menu = hwnd ? GetMenu(hwnd) : nullptr)
        CheckMenuItem(menu, itemId, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Form::checkMenuItem(uint32_t itemId)
{
    setMenuChecked(itemId, true);
}

void Form::uncheckMenuItem(uint32_t itemId)
{
    setMenuChecked(itemId, false);
}

void Form::enableMenuItem(uint32_t itemId, bool enabled)
{
    if (HMENU menu = hwnd ? GetMenu(hwnd) : nullptr)
        EnableMenuItem(menu, itemId, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Form::deleteMenuItem(uint32_t itemId)
{
    if (HMENU menu = hwnd ? GetMenu(hwnd) : nullptr)
        DeleteMenu(menu, itemId, MF_BYCOMMAND);
}

void Form::loadMenu(uint32_t resourceId)
{
    HINSTANCE instance = AppInstance();
    if (!hwnd)
        return;
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(resourceId));
    if (!menu)
        ThrowLastError(nullptr, L"LoadMenuW");
    HMENU previous = GetMenu(hwnd);
    SetMenu(hwnd, menu);
    if (previous)
        DestroyMenu(previous);
}

void Form::loadAccelerators(uint32_t resourceId)
{
    HACCEL loaded = LoadAcceleratorsW(AppInstance(), MAKEINTRESOURCEW(resourceId));
    if (!loaded)
        ThrowLastError(nullptr, L"LoadAcceleratorsW");
    accelerators = loaded;
}

bool Form::isMaximized()
{
    return hwnd && IsZoomed(hwnd);
}

void Form::maximize()
{
    send(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
}

void Form::restoreFromMaximized()
{
    send(WM_SYSCOMMAND, SC_RESTORE, 0);
}

bool Form::isMinimized()
{
    return hwnd && IsIconic(hwnd);
}

void Form::minimize()
{
    send(WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void Form::restoreFromMinimized()
{
    send(WM_SYSCOMMAND, SC_RESTORE, 0);
}

bool Form::isActive()
{
    return hwnd && GetActiveWindow() == hwnd;
}

void Form::activate()
{
    if (hwnd)
        SetActiveWindow(hwnd);
}

bool Form::isDisabledByModal()
{
    return modalWindow != nullptr;
}

GuiBase* Form::modalChild()
{
    return modalWindow;
}

void Form::disableForModal(GuiBase* modal)
{
    modalWindow = modal;
    if (hwnd)
        EnableWindow(hwnd, FALSE);
}

void Form::enableAfterModal(GuiBase* modal)
{
    if (modal != modalWindow)
        return;
    modalWindow = nullptr;
    if (hwnd)
        EnableWindow(hwnd, TRUE);
}

void Form::childRemoved(Control* child)
{
    removeFontFollower(child);
    if (focusMemory == child)
        focusMemory = nullptr;
    removeIdleObject(child);
}

void Form::tooltipRemoved(Tooltip* removed)
{
    if (tooltip == removed)
        tooltip = nullptr;
}

void Form::enableDialogKeys()
{
    dialogKeys = true;
}

static int64_t IndexOf(const PtrArray& list, const void* item)
{
    for (int64_t i = 0; i < list.length(); i++)
        if (list.ref(i) == item)
            return i;
    return -1;
}

static void AppendOnce(PtrArray& list, void* item)
{
    if (IndexOf(list, item) < 0)
        list.append(item);
}

static void RemoveFirst(PtrArray& list, const void* item)
{
    int64_t index = IndexOf(list, item);
    if (index >= 0)
        list.remove(index, 1);
}

void Form::addIdleObject(GuiBase* object)
{
    AppendOnce(idleObjects, object);
}

void Form::removeIdleObject(GuiBase* object)
{
    RemoveFirst(idleObjects, object);
}

void Form::addFontFollower(Control* control)
{
    AppendOnce(fontFollowers, control);
    // applyFont, not setFont: setFont would take a control that follows already off the list.
    control->applyFont(normalFontObj);
}

void Form::removeFontFollower(Control* control)
{
    RemoveFirst(fontFollowers, control);
}

bool Form::filterMessage(MSG& message)
{
    return false;
}
