#include "installer/ElevatedRelaunch.h"

#include "core/AppContext.h"
#include "core/Owned.h"
#include "gui/AlertDialog.h"
#include "gui/Form.h"

#include <windows.h>
#include <shellapi.h>

bool ShellSaysAdministrator()
{
    typedef BOOL(WINAPI * AdministratorTest)();
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (!shell)
        return false;
    AdministratorTest test = reinterpret_cast<AdministratorTest>(
        reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(680))));
    return test && test() != 0;
}

RelaunchResult StartElevatedCopy(Form* owner, const wchar_t* parameters, bool quiet)
{
    Str program = ModuleFileName();
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | (quiet ? SEE_MASK_FLAG_NO_UI : 0);
    info.hwnd = owner ? owner->handle() : nullptr;
    info.lpVerb = LOBYTE(LOWORD(GetVersion())) >= 6 ? L"runas" : nullptr;
    info.lpFile = program.text();
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        OwnedHandle process(info.hProcess);
        if (owner)
            owner->hide();
        WaitForSingleObject(process.get(), INFINITE);
        DWORD code = 1;
        if (!GetExitCodeProcess(process.get(), &code))
            code = 1;
        CurrentAppContext()->exitCode = static_cast<int32_t>(code);
        return CopyRan;
    }
    return GetLastError() == ERROR_CANCELLED ? ElevationRefused : CopyNotStarted;
}

void RelaunchElevated(Form* owner, const wchar_t* parameters)
{
    RelaunchResult result = StartElevatedCopy(owner, parameters, false);
    if (result == CopyRan)
        return;
    const wchar_t* text = result == ElevationRefused
                              ? Tr(L"Wymagane uprawnienia administratora.", L"Administrator rights required")
                              : Tr(L"Nieudane uruchomienie procesu.", L"Failed to start new process");
    ShowAlert(owner, text, Tr(L"Uruchom jako administrator", L"Run as administrator"), L"+OK", 0);
}
