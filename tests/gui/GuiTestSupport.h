// Shared pieces of the toolkit tests: the application context that window creation needs, and
// small test controls.
#ifndef LUMIVO_TESTS_GUITESTSUPPORT_H
#define LUMIVO_TESTS_GUITESTSUPPORT_H

#include "core/AppContext.h"
#include "gui/ControlGroup.h"
#include "gui/Form.h"

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <vector>

// Binds an application context to the test's thread for as long as it lives.
struct GuiContext {
    GuiContext() { CreateAppContext(&context, GetModuleHandleW(nullptr)); }
    ~GuiContext() { DestroyAppContext(&context); }
    GuiContext(const GuiContext&) = delete;
    GuiContext& operator=(const GuiContext&) = delete;
    AppContext context = {};
};

// Sets or clears the Ctrl key in the thread's keyboard state, as GetKeyState reads it.
inline void SetControlKey(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// Handles this thread's messages the way the form's loop does (dialog keys included) until the
// condition holds or the deadline passes; the condition's value at the end.
inline bool PumpFormUntil(Form& form, const std::function<bool()>& condition, DWORD deadlineMs = 5000)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            form.processMessage(message);
        if (condition())
            return true;
        if (GetTickCount() - start > deadlineMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Puts the key (with the modifiers held around it) into the system's input queue, as the keyboard
// does; the foreground window's thread gets it when it next handles messages.
inline void SendKey(WORD key, std::initializer_list<WORD> held = {})
{
    std::vector<INPUT> inputs;
    auto add = [&inputs](WORD virtualKey, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD modifier : held)
        add(modifier, false);
    add(key, false);
    add(key, true);
    for (auto it = held.end(); it != held.begin();) {
        --it;
        add(*it, true);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// SendKey, then handles messages until the foreground thread has taken all of it: a press of F24,
// which nothing answers, follows and toggles that key's state once it is through. False when that
// did not happen within the deadline. (A key that opens a modal window takes the rest of the
// input into that window's loop: use SendKey and wait for what the window does instead.)
inline bool PressKey(Form& form, WORD key, std::initializer_list<WORD> held = {})
{
    SHORT before = GetKeyState(VK_F24) & 1;
    SendKey(key, held);
    SendKey(VK_F24);
    return PumpFormUntil(form, [before] { return (GetKeyState(VK_F24) & 1) != before; });
}

// A windowless child with fixed limits that records where layout put it.
class Probe : public Control {
public:
    Probe(ControlGroup* parent, SizeLimits limits, uint32_t flags = 0)
        : Control(parent, 0, Windowless | flags), limits(limits)
    {
        createWindow(L"Probe", 0, 0);
    }
    SizeLimits sizeLimits() override { return limits; }
    void setBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) override
    {
        bounds = RECT{left, top, right, bottom};
        boundsCalls++;
    }
    int32_t width() const { return bounds.right - bounds.left; }
    int32_t height() const { return bounds.bottom - bounds.top; }

    SizeLimits limits;
    RECT bounds = {0, 0, 0, 0};
    int boundsCalls = 0;
};

// A native edit control that counts the messages that reach its native procedure.
class NativeEdit : public Control {
public:
    explicit NativeEdit(ControlGroup* parent, uint32_t id = 100, uint32_t flags = 0)
        : Control(parent, id, flags)
    {
        createWindow(L"EDIT", ES_AUTOHSCROLL, 0);
    }
    void defaultProc(MessageRecord& record) override
    {
        if (record.message == WM_SETTEXT)
            setTextCalls++;
        Control::defaultProc(record);
    }
    int setTextCalls = 0;
};

// A child window of a toolkit class that logs every message its object dispatches.
class LoggingWindow : public Control {
public:
    explicit LoggingWindow(ControlGroup* parent, const wchar_t* label = L"Logging Window")
        : Control(parent, 7, OwnClass)
    {
        createWindow(label, 0, 0);
    }
    void dispatch(MessageRecord& record) override
    {
        messages.push_back(record.message);
        Control::dispatch(record);
    }
    bool saw(UINT message) const
    {
        for (UINT seen : messages)
            if (seen == message)
                return true;
        return false;
    }
    std::vector<UINT> messages;
};

#endif
