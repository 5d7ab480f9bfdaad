// Form: a top-level window. It owns one content control that fills its client area (normally an
// elastic group), its fonts at its DPI, its tooltip, the list of controls that follow its font,
// and the message loop. Closing a form only ends the loop that runs it; its creator decides what
// happens next.
#ifndef LUMIVO_GUI_FORM_H
#define LUMIVO_GUI_FORM_H

#include "core/Array.h"
#include "gui/ControlGroup.h"
#include "gui/GdiObj.h"
#include "gui/OwnedIcon.h"

#include <windows.h>

#include <stdint.h>

class Tooltip;

// Form creation flags.
enum : uint32_t {
    FormMain = 0x001, // WS_OVERLAPPEDWINDOW and WS_EX_APPWINDOW
    FormNoTooltip = 0x002,
    FormDialogFrame = 0x004,     // popup with caption and system menu; dialog keys
    FormResizableDialog = 0x008, // the same with a sizing frame
    FormBorder = 0x010,
    FormDialogModalFrame = 0x020, // WS_DLGFRAME and WS_EX_DLGMODALFRAME (not for main windows)
    FormDropShadow = 0x040,
    FormTopMost = 0x080,
    FormNoActivate = 0x100,
    FormMinimizeBox = 0x200,
    FormToolWindow = 0x400, // WS_EX_TOOLWINDOW; caption and system menu unless main
};

class Form : public ControlGroup {
public:
    // A form of the given flags with a window of the class "Lumivo " + label, hidden.
    Form(uint32_t formFlags, const wchar_t* label, Form* owner, uint32_t formId);
    // Deletes the tooltip and the content, then destroys the window.
    ~Form() override;
    // Lays the content out in the new client area unless WM_SIZE did it already.
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    // The content's limits plus the frame.
    SizeLimits sizeLimits() override;
    void defaultProc(MessageRecord& record) override;
    void onPaint(MessageRecord& record) override;
    void onSize(MessageRecord& record) override;
    // Remembers the focused control of the form.
    void onDeactivate(MessageRecord& record) override;
    // Gives the focus back to the remembered control, else to the form.
    void onActivate(MessageRecord& record) override;
    // Ends the loop; the window stays.
    void onClose(MessageRecord& record) override;
    // Accelerators, then the dialog keys when enabled.
    bool preTranslate(MSG* message) override;
    // Asks the owner form; false without one.
    bool reportError(const Error& error) override;
    uint32_t id() override;
    GdiObj normalFont() override;
    GdiObj boldFont() override;
    bool tooltipAt(POINT screenPoint, Str& text) override;
    uint32_t idAt(POINT screenPoint) override;
    uint32_t dpi() override;
    DrawContext drawingDC() override;
    void removeChild(Control* child) override;
    // The first child becomes the content; a second is an InternalError.
    void addChild(Control* child) override;

    virtual Form* owner();
    virtual void setTitle(const wchar_t* title);
    virtual bool isMenuChecked(uint32_t itemId);
    virtual void setMenuChecked(uint32_t itemId, bool checked);
    virtual void checkMenuItem(uint32_t itemId);
    virtual void uncheckMenuItem(uint32_t itemId);
    virtual void enableMenuItem(uint32_t itemId, bool enabled);
    virtual void deleteMenuItem(uint32_t itemId);
    // Menu resource of the application; the previous menu is destroyed.
    virtual void loadMenu(uint32_t resourceId);
    // Big and small icon from an icon resource of the application at the form's DPI; loaded again
    // when the DPI changes.
    virtual void loadIcon(uint32_t resourceId);
    virtual void loadAccelerators(uint32_t resourceId);
    virtual bool isMaximized();
    virtual void maximize();
    virtual void restoreFromMaximized();
    virtual bool isMinimized();
    virtual void minimize();
    virtual void restoreFromMinimized();
    virtual bool isActive();
    virtual void activate();
    virtual bool isDisabledByModal();
    virtual GuiBase* modalChild();
    // A modal window disables this form while it runs, and only that one enables it again.
    virtual void disableForModal(GuiBase* modal);
    virtual void enableAfterModal(GuiBase* modal);
    // Below 96: measured again from the monitor.
    virtual void setDpi(uint32_t newDpi);
    virtual int32_t buttonHeightAdjust();
    // The message font at the DPI (below 96: measured again), its bold face, and the font of
    // every follower.
    virtual void rebuildFonts(uint32_t newDpi);
    // A control of the form goes: it is forgotten as follower, focus control and idle object.
    virtual void childRemoved(Control* child);
    virtual void tooltipRemoved(Tooltip* removed);
    // One message, or idle work, or waiting for a message.
    virtual void loopStep();
    // Runs until quitLoop or onClose.
    virtual void runLoop();
    // Handles the waiting messages and returns; never waits.
    virtual void pumpMessages();
    // Ends the running loop of this form (only this one when loops nest).
    virtual void quitLoop();
    virtual void processMessage(MSG& message);
    // onIdle of every idle object; true when one wants more. False while a modal window runs.
    virtual bool idle();
    virtual void enableDialogKeys();
    virtual void addIdleObject(GuiBase* object);
    virtual void removeIdleObject(GuiBase* object);
    // The control gets the normal font now (if there is one yet) and at every rebuild.
    virtual void addFontFollower(Control* control);
    virtual void removeFontFollower(Control* control);
    // A hook for derived forms; the loop does not consult it.
    virtual bool filterMessage(MSG& message);
    // A message box owned by this form; the index of the chosen button, or -1.
    virtual int32_t alertPieces(const wchar_t* const* pieces, const wchar_t* title, const wchar_t* buttonSpec,
                                uint32_t alertFlags);
    virtual int32_t alert(const wchar_t* message, const wchar_t* title, const wchar_t* buttonSpec,
                          uint32_t alertFlags);

    // Called by the constructors of derived forms: the fields, then the window, then the tooltip
    // (unless FormNoTooltip).
    void initForm(uint32_t formFlags, const wchar_t* label, Form* owner, uint32_t formId);
    void createFormWindow(const wchar_t* label);

    uint32_t formFlags = 0;
    uint32_t formId = 0;
    Form* formOwner = nullptr;      // not owned
    Control* content = nullptr;     // owned
    bool sizedByWmSize = false;     // onSize laid the content out: setBounds need not
    Control* focusMemory = nullptr; // focused control when the form was last deactivated
    bool quit = false;
    HACCEL accelerators = nullptr;
    bool dialogKeys = false;        // messages pass through IsDialogMessageW
    GuiBase* modalWindow = nullptr; // the modal window that disabled this form
    Tooltip* tooltip = nullptr;     // owned
    PtrArray idleObjects;
    uint32_t dpiValue = 0; // below 96: not known yet
    GdiObj normalFontObj;
    GdiObj boldFontObj;
    int32_t heightAdjust = 0; // added to button heights; 0 after every font rebuild
    PtrArray fontFollowers;
    bool sizingCommands = false; // the form may be sized, minimized, maximized and restored
    uint32_t iconResourceId = 0; // what loadIcon loaded, 0 for none
    OwnedIcon bigIcon;           // the window's icons at its DPI; destroyed after the window
    OwnedIcon smallIcon;

protected:
    // For derived forms, which call initForm themselves.
    Form();

private:
    uint32_t measuredDpi();
    void onDpiChanged(MessageRecord& record);
    void moveFocus(MessageRecord& record);
};

#endif
