// A look at the windows of the Wine desktop from outside, for the end-to-end tests:
//   window-probe list                         every visible top-level window: class, title, rectangle,
//                                             message
//   window-probe wait CLASS [SECONDS] [TEXT]  waits for a visible window of the class (whose title or
//                                             message holds TEXT) that is the foreground window (so
//                                             that keys pressed next reach it) and prints its title,
//                                             message, rectangle and the X window Wine made for it
//   window-probe gone CLASS [SECONDS]         waits until no visible window of the class is left
//   window-probe kill CLASS TEXT              ends the process that shows such a window at once
//                                             (TerminateProcess, as Task Manager does) and waits
//                                             until it is gone
// The message of a window is the text of its child with id 33 (an alert's message). Exit status 0
// when the wait succeeded, 1 when it timed out.
#include <windows.h>

#include <stdio.h>
#include <string>

static std::string Utf8(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    return out;
}

static std::wstring TextOf(HWND window)
{
    wchar_t text[8192];
    int length = GetWindowTextW(window, text, 8192);
    return std::wstring(text, length > 0 ? length : 0);
}

static std::wstring ClassOf(HWND window)
{
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

static std::wstring MessageOf(HWND window)
{
    HWND message = GetDlgItem(window, 33);
    return message ? TextOf(message) : L"";
}

struct Search {
    std::wstring className;
    std::wstring text;
    HWND found;
};

static BOOL CALLBACK FindWindowOf(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window) || ClassOf(window) != search->className)
        return TRUE;
    if (!search->text.empty() && TextOf(window).find(search->text) == std::wstring::npos &&
        MessageOf(window).find(search->text) == std::wstring::npos)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND Find(const std::wstring& className, const std::wstring& text)
{
    Search search = {className, text, nullptr};
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

static BOOL CALLBACK ListWindow(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    RECT r;
    GetWindowRect(window, &r);
    printf("%s\t%s\t%ld %ld %ld %ld\t%s\n", Utf8(ClassOf(window)).c_str(), Utf8(TextOf(window)).c_str(),
           r.left, r.top, r.right, r.bottom, Utf8(MessageOf(window)).c_str());
    return TRUE;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2 && std::wstring(argv[1]) == L"list") {
        EnumWindows(ListWindow, 0);
        return 0;
    }
    if (argc >= 3 && (std::wstring(argv[1]) == L"wait" || std::wstring(argv[1]) == L"gone")) {
        bool wantGone = std::wstring(argv[1]) == L"gone";
        DWORD seconds = argc >= 4 ? static_cast<DWORD>(_wtoi(argv[3])) : 30;
        std::wstring text = argc >= 5 ? argv[4] : L"";
        DWORD end = GetTickCount() + seconds * 1000;
        for (;;) {
            HWND window = Find(argv[2], text);
            if (!wantGone && window && GetForegroundWindow() == window) {
                RECT r;
                GetWindowRect(window, &r);
                // Wine keeps the id of a top-level window's X window in this property.
                HANDLE xwindow = GetPropW(window, L"__wine_x11_whole_window");
                printf("title: %s\nmessage: %s\nrect: %ld %ld %ld %ld\nxwindow: %llu\n", Utf8(TextOf(window)).c_str(),
                       Utf8(MessageOf(window)).c_str(), r.left, r.top, r.right, r.bottom,
                       static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(xwindow)));
                return 0;
            }
            if (wantGone && !window)
                return 0;
            if (static_cast<LONG>(GetTickCount() - end) > 0)
                return 1;
            Sleep(100);
        }
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"kill") {
        HWND window = Find(argv[2], argv[3]);
        DWORD id = 0;
        if (!window || !GetWindowThreadProcessId(window, &id))
            return 1;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process)
            return 1;
        bool ended = TerminateProcess(process, 9) && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended ? 0 : 1;
    }
    fprintf(
        stderr,
        "usage: window-probe list | wait CLASS [SECONDS] [TEXT] | gone CLASS [SECONDS] | kill CLASS TEXT\n");
    return 2;
}
