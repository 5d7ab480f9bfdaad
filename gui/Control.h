// Control: a toolkit object inside a form, with or without a window of its own. Native controls
// ("STATIC", "EDIT", "BUTTON") are created with their own class and subclassed; OwnClass controls
// get a window class of the toolkit; Windowless ones (groups, spaces) have no window at all.
#ifndef LUMIVO_GUI_CONTROL_H
#define LUMIVO_GUI_CONTROL_H

#include "core/Str.h"
#include "gui/AccessibleAnnotation.h"
#include "gui/GdiObj.h"
#include "gui/GuiBase.h"

#include <windows.h>

#include <stdint.h>

class ControlGroup;
class Form;

// Creation flags.
enum : uint32_t {
    ArrowCursor = 0x01,  // own class: IDC_ARROW (also when no cursor flag is set)
    IBeamCursor = 0x02,  // own class: IDC_IBEAM
    NoCursor = 0x04,     // own class: no class cursor
    DoubleClicks = 0x08, // own class: CS_DBLCLKS
    OwnClass = 0x10,     // a toolkit window class registered under the label
    Windowless = 0x20,
    VScroll = 0x40,
    HScroll = 0x80,
    NoTabStop = 0x200, // otherwise every child window is a tab stop while shown
    Border = 0x400,
    ClientEdge = 0x800,
    Unmanaged = 0x1000, // the parent's addChild and removeChild are not called
};

enum : uint32_t { NoControlId = 0xFFFFFFFF };

class Control : public GuiBase {
public:
    // Sets kind, id, parent and flags; the derived constructor then calls createWindow.
    Control(ControlGroup* parent, uint32_t id, uint32_t flags);
    // Tells the form and the parent that the control goes, then destroys its window.
    ~Control() override;
    // WM_GETOBJECT of an annotated control is answered with its annotated accessible object.
    void dispatch(MessageRecord& record) override;
    void defaultProc(MessageRecord& record) override;
    // Asks the parent; false without one.
    bool reportError(const Error& error) override;

    virtual uint32_t id();
    // The nearest ancestor that has a window, or null.
    virtual Control* windowedAncestor();
    // The window of the nearest windowed ancestor, or null.
    virtual HWND parentHandle();
    // Own window, else parentHandle.
    virtual HWND anyHandle();
    // The top-level form at the root of the parent chain; null for a form itself or a loose control.
    virtual Form* form();
    virtual bool isSpace();
    virtual bool isCollapsed();
    // Collapsed controls are hidden and take no room in layout.
    virtual void collapse();
    // Gives the room back, without showing.
    virtual void uncollapse();
    virtual bool hasFocus();
    virtual void setFocus();
    // WM_SETFONT without redraw.
    virtual void applyFont(const GdiObj& font);
    // A font of the control's own: it stops following the form's font.
    virtual void setFont(const GdiObj& font);
    virtual void setFontHandle(HFONT font);
    // Selects the window's own font (WM_GETFONT) into the context, if it has one.
    virtual void selectOwnFont(DrawContext& context);
    // The form's fonts; empty without a form.
    virtual GdiObj normalFont();
    virtual GdiObj boldFont();
    // The control takes the form's normal font now and at every font rebuild.
    virtual void followFormFont();
    virtual void unfollowFormFont();
    // True when the screen point lies on this shown control (groups: on one of their children);
    // text is then its tooltip text, possibly empty.
    virtual bool tooltipAt(POINT screenPoint, Str& text);
    virtual void setTooltip(const wchar_t* text);
    // The id of the shown control at the screen point, else 0.
    virtual uint32_t idAt(POINT screenPoint);
    // The DPI to scale 96-DPI sizes to: the form's.
    virtual uint32_t dpi();
    virtual uint32_t systemDpi();
    virtual LRESULT sendToParent(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND (id, code) from this control to the parent window.
    virtual LRESULT notifyParent(uint32_t id, uint32_t code);
    virtual bool postToParent(uint32_t id, uint32_t code);
    // Fills the rectangle as the background behind this control: the parent's business, in the
    // end the button face colour.
    virtual void paintBackground(DrawContext& context, const RECT& rectangle);
    // A window context of the nearest windowed object (itself first); InternalError without one.
    virtual DrawContext drawingDC();

    // Creates the window, hidden, at (0, 0) with zero size, after adding the control to its
    // parent. label is the native class name, or for OwnClass the label of a toolkit class.
    void createWindow(const wchar_t* label, uint32_t classStyle, uint32_t extendedStyle);
    // Destroys and forgets the window: the object gets no message from then on.
    void destroyWindow();
    // A distance in pixels at 96 DPI, scaled to the control's DPI.
    int32_t scaled(int32_t pixelsAt96) { return MulDiv(pixelsAt96, static_cast<int>(dpi()), 96); }

    WNDPROC savedProc = nullptr; // the native procedure that subclassing replaced
    uint32_t controlId;          // GWL_ID of the window; NoControlId for none
    uint32_t flags;              // creation flags (0 for a form)
    bool collapsed = false;
    Str tooltipText;
    AccessibleAnnotation accessible; // what screen readers read beyond the system's own answers
    ControlGroup* parent;            // not owned
    bool followsFormFont = false;
};

#endif
