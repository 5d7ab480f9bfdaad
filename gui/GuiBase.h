// GuiBase: the root of the window toolkit. A toolkit object owns at most one window; every
// message that reaches the window becomes one call of a virtual handler of the object. Derived
// classes change behaviour only by overriding; the order of the virtual operations is fixed and
// derived classes add theirs after it.
#ifndef LUMIVO_GUI_GUIBASE_H
#define LUMIVO_GUI_GUIBASE_H

#include "core/Error.h"
#include "core/Str.h"
#include "gui/DrawContext.h"

#include <windows.h>

#include <stdint.h>

// The argument of every handler; handlers write result, which the window procedure returns.
struct MessageRecord {
    HWND window;
    uint32_t message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

// What layout may give an object, in pixels; Unbounded stands for no limit.
struct SizeLimits {
    int32_t minWidth;
    int32_t minHeight;
    int32_t maxWidth;
    int32_t maxHeight;
};

enum : int32_t { Unbounded = 10000 };

enum GuiKind : uint32_t { KindUnset = 0, KindForm = 1, KindChild = 2 };

class GuiBase {
public:
    GuiBase() = default;
    GuiBase(const GuiBase&) = delete;
    GuiBase& operator=(const GuiBase&) = delete;
    virtual ~GuiBase();

    // Operations that need a window do nothing (or answer zero, false or empty) without one,
    // unless they say that they throw.
    virtual HWND handle();
    // The window text; InternalError without a window.
    virtual Str getText();
    // Null is the empty string. Nothing happens when the window has that text already.
    // InternalError without a window.
    virtual void setText(const wchar_t* text);
    virtual void setTextAlways(const wchar_t* text);
    virtual bool isShown();
    // Showing a shown object and hiding a hidden one do nothing at all.
    virtual void show();
    virtual void showNoActivate();
    virtual void hide();
    virtual RECT clientRect();
    virtual RECT windowRect(); // screen coordinates
    // In the parent's client coordinates.
    virtual void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom);
    virtual SizeLimits sizeLimits();
    virtual POINT screenToClient(POINT point);
    virtual POINT clientToScreen(POINT point);
    virtual bool hitClient(POINT clientPoint);
    // The screen point lies in the window and no other window covers it there.
    virtual bool hitWindow(POINT screenPoint);
    virtual bool isMouseOver();
    virtual void invalidate();
    virtual void invalidateRect(const RECT& rectangle);
    virtual void invalidateRectErase(const RECT& rectangle, bool erase);
    virtual void validate();
    virtual void validateRect(const RECT& rectangle);
    virtual void update();
    // A paint context: for WM_PAINT only.
    virtual DrawContext beginPaint();
    virtual DrawContext windowDC();
    virtual bool hasCapture();
    virtual void setCapture();
    virtual void releaseCapture();
    // The first submenu of a menu resource of the application, at a client point.
    virtual void popupMenuResource(uint32_t menuId, int32_t x, int32_t y);
    // Flag bit 0: the menu's bottom at y; bit 1: its right edge at x.
    virtual void popupMenu(HMENU menu, uint32_t flags, int32_t x, int32_t y);
    virtual void createCaret(int32_t width, int32_t height);
    virtual void setCaretPos(int32_t x, int32_t y);
    virtual void showCaret();
    virtual void hideCaret();
    virtual UINT_PTR setTimer(UINT_PTR id, uint32_t milliseconds);
    virtual void killTimer(UINT_PTR id);
    virtual void dispatch(MessageRecord& record);
    virtual void defaultProc(MessageRecord& record);

    // Message handlers: each default calls defaultProc.
    virtual void onPaint(MessageRecord& record);
    virtual void onPrintClient(MessageRecord& record);
    virtual void onSize(MessageRecord& record);
    virtual void onCreate(MessageRecord& record);
    virtual void onDestroy(MessageRecord& record);
    virtual void onDeactivate(MessageRecord& record);
    virtual void onActivate(MessageRecord& record);
    virtual void onAppDeactivate(MessageRecord& record);
    virtual void onAppActivate(MessageRecord& record);
    virtual void onShown(MessageRecord& record);
    virtual void onHidden(MessageRecord& record);
    virtual void onSetFocus(MessageRecord& record);
    virtual void onKillFocus(MessageRecord& record);
    virtual void onCancelMode(MessageRecord& record);
    virtual void onMouseMove(MessageRecord& record);
    virtual void onLButtonDown(MessageRecord& record);
    virtual void onLButtonUp(MessageRecord& record);
    virtual void onRButtonDown(MessageRecord& record);
    virtual void onRButtonUp(MessageRecord& record);
    virtual void onMButtonDown(MessageRecord& record);
    virtual void onMButtonUp(MessageRecord& record);
    virtual void onMouseWheel(MessageRecord& record);
    virtual void onMouseLeave(MessageRecord& record);
    virtual void onVScroll(MessageRecord& record);
    virtual void onHScroll(MessageRecord& record);
    virtual void onChar(MessageRecord& record);
    virtual void onKeyDown(MessageRecord& record);
    virtual void onKeyUp(MessageRecord& record);
    virtual void onTimer(MessageRecord& record);
    virtual void onClose(MessageRecord& record);
    virtual void onCommand(MessageRecord& record);
    virtual void onNotify(MessageRecord& record);
    virtual void onGetDlgCode(MessageRecord& record);
    virtual void onContextMenu(MessageRecord& record);

    // Called by the form's idle processing while registered; true asks for more idle calls.
    virtual bool onIdle();
    // Called by the message loop for the top-level window of a message; true consumes it.
    virtual bool preTranslate(MSG* message);
    // Called by the window procedure when a handler threw; true means handled.
    virtual bool reportError(const Error& error);
    virtual bool usesOwnClass();
    virtual void process(MessageRecord& record);
    virtual LRESULT send(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND with the id and the notification code, from this window.
    virtual LRESULT sendCommand(uint32_t id, uint32_t code);
    virtual bool post(UINT message, WPARAM wParam, LPARAM lParam);
    virtual bool postCommand(uint32_t id, uint32_t code);

    // Non-virtual conveniences.
    void setBoundsRect(const RECT& rectangle)
    {
        setBounds(rectangle.left, rectangle.top, rectangle.right, rectangle.bottom);
    }
    // Takes a shown top-level window out of sight for good, for a window that is destroyed next:
    // an empty window region, and WS_VISIBLE taken off as WM_SETREDRAW does, without the hide of
    // ShowWindow, which Wine's X11 driver makes wait up to two seconds for a window manager to
    // confirm the window (without one, it never does). The destruction then hides nothing either.
    void vanish();

    uint32_t kind = KindUnset;
    HWND hwnd = nullptr;             // the object's window, or null
    GuiBase* registryNext = nullptr; // chain of the window registry's bucket
    bool shown = false;              // kept for windowless objects too
    bool tabStopWhenShown = false;   // WS_TABSTOP comes and goes with show and hide
    bool ownClass = false;           // the window's class was registered by the toolkit
};

#endif
