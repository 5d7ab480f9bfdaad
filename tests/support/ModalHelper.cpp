#include "support/ModalHelper.h"

#include <windows.h>

#include <map>

namespace {

struct Pending {
    std::function<bool()> callback; // true: done, the timer stops
    bool running;                   // a loop inside the callback must not call it again
};

std::map<UINT_PTR, Pending>& Callbacks()
{
    static std::map<UINT_PTR, Pending> callbacks;
    return callbacks;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    auto found = Callbacks().find(id);
    if (found == Callbacks().end()) {
        KillTimer(nullptr, id);
        return;
    }
    if (found->second.running)
        return;
    found->second.running = true;
    std::function<bool()> callback = found->second.callback;
    bool done = true;
    try {
        done = callback();
    } catch (...) {
        // nothing may cross DispatchMessage; a failed doctest assertion is already recorded
    }
    found = Callbacks().find(id);
    if (found != Callbacks().end())
        found->second.running = false;
    if (done) {
        KillTimer(nullptr, id);
        Callbacks().erase(id);
    }
}

void Start(std::function<bool()> callback, unsigned ms)
{
    UINT_PTR id = SetTimer(nullptr, 0, ms, OnTimer);
    if (id)
        Callbacks()[id] = Pending{std::move(callback), false};
}

} // namespace

void RunInModalLoop(std::function<void()> callback, unsigned delayMs)
{
    Start(
        [callback]() {
            callback();
            return true;
        },
        delayMs);
}

void RunInModalLoopUntil(std::function<bool()> callback, unsigned periodMs)
{
    Start(std::move(callback), periodMs);
}

void RunWhenDialogActive(std::function<void()> callback)
{
    RunInModalLoopUntil([callback] {
        wchar_t className[64] = {};
        HWND active = GetActiveWindow();
        if (!active || !GetClassNameW(active, className, 64) || lstrcmpW(className, L"Lumivo Dialog") != 0)
            return false;
        callback();
        return true;
    });
}

void PumpMessagesFor(unsigned ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

void CancelModalLoopCallbacks()
{
    for (auto& entry : Callbacks())
        KillTimer(nullptr, entry.first);
    Callbacks().clear();
}

int PendingModalLoopCallbacks()
{
    return static_cast<int>(Callbacks().size());
}
