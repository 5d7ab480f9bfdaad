#include "support/AlertAnswers.h"

#include "support/ModalHelper.h"

#include <windows.h>

namespace {

std::vector<int> Answers;
std::function<void(size_t)> BeforeAnswer;
size_t NextAnswer = 0;
std::vector<SeenAlert> Seen;
bool Answering = false;

std::wstring TextOf(HWND window)
{
    wchar_t buffer[4096];
    int length = GetWindowTextW(window, buffer, 4096);
    return std::wstring(buffer, length > 0 ? length : 0);
}

// A caption as the user reads it: the "&" that marks the mnemonic is not shown.
std::wstring WithoutMnemonic(const std::wstring& caption)
{
    std::wstring shown;
    for (size_t i = 0; i < caption.size(); i++) {
        if (caption[i] == L'&' && i + 1 < caption.size())
            i++;
        shown += caption[i];
    }
    return shown;
}

struct Children {
    std::vector<HWND> buttons;
    std::wstring text;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    Children* found = reinterpret_cast<Children*>(param);
    wchar_t className[64];
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, L"Button") == 0)
        found->buttons.push_back(child);
    else if (lstrcmpiW(className, L"Static") == 0 && GetDlgCtrlID(child) == 33)
        found->text = TextOf(child);
    return TRUE;
}

// The alert window that is waiting for an answer: a visible, enabled toolkit dialog of this thread
// that holds push buttons.
HWND OpenAlert()
{
    struct Search {
        HWND found;
    } search = {nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM param) -> BOOL {
            wchar_t className[64];
            GetClassNameW(window, className, 64);
            if (IsWindowVisible(window) && IsWindowEnabled(window) && lstrcmpW(className, L"Lumivo Dialog") == 0) {
                reinterpret_cast<Search*>(param)->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool AnswerOpenAlert()
{
    if (!Answering)
        return true;
    HWND alert = OpenAlert();
    if (!alert)
        return false;
    Children children;
    EnumChildWindows(alert, CollectChild, reinterpret_cast<LPARAM>(&children));
    if (children.buttons.empty())
        return false;
    SeenAlert seen;
    seen.title = TextOf(alert);
    seen.text = children.text;
    for (HWND button : children.buttons)
        seen.buttons.push_back(WithoutMnemonic(TextOf(button)));
    Seen.push_back(seen);
    if (BeforeAnswer)
        BeforeAnswer(NextAnswer);
    size_t index = NextAnswer < Answers.size() ? static_cast<size_t>(Answers[NextAnswer]) : children.buttons.size() - 1;
    NextAnswer++;
    if (index >= children.buttons.size())
        index = children.buttons.size() - 1;
    HWND button = children.buttons[index];
    PostMessageW(alert, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    // Keep watching for the next alert once this one has gone.
    RunInModalLoop([] { RunInModalLoopUntil(AnswerOpenAlert, 20); }, 50);
    return true;
}

} // namespace

void AnswerAlerts(const std::vector<int>& answers, std::function<void(size_t)> beforeAnswer)
{
    BeforeAnswer = beforeAnswer;
    CancelModalLoopCallbacks();
    Answers = answers;
    NextAnswer = 0;
    Seen.clear();
    Answering = true;
    RunInModalLoopUntil(AnswerOpenAlert, 20);
}

const std::vector<SeenAlert>& SeenAlerts()
{
    return Seen;
}

void StopAnsweringAlerts()
{
    Answering = false;
    CancelModalLoopCallbacks();
}
