// A program of an installation, for the tests of programs that run during an upgrade or a removal:
//   running-app STARTS-FILE [ignore-close]
// It holds data.txt of its own folder open without sharing, shows a window, and then appends
// "started" to STARTS-FILE (so a test knows it is ready, and sees when it was started again); when
// it ends after its window was closed it appends "closed". With ignore-close it ignores WM_CLOSE.
#include <windows.h>
#include <shellapi.h>

static bool ignoreClose = false;

static void Note(const wchar_t* path, const char* line)
{
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
    CloseHandle(file);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && ignoreClose)
        return 0;
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 2)
        return 2;
    ignoreClose = count >= 3 && lstrcmpiW(argv[2], L"ignore-close") == 0;
    wchar_t held[MAX_PATH];
    GetModuleFileNameW(nullptr, held, MAX_PATH);
    lstrcpyW(wcsrchr(held, L'\\') + 1, L"data.txt");
    HANDLE file = CreateFileW(held, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"Lumivo Running App";
    RegisterClassW(&windowClass);
    CreateWindowW(L"Lumivo Running App", L"Running App", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 160, nullptr,
                  nullptr, instance, nullptr);
    Note(argv[1], "started\r\n");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    CloseHandle(file);
    Note(argv[1], "closed\r\n");
    return 0;
}
