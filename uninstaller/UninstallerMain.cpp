// The uninstaller: "_de_install.exe" (all users) or "_de_installu.exe" (per user), started from
// the Windows list of installed programs with the path of the program's data file.
#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/ShowError.h"
#include "gui/ClassRegistry.h"
#include "installer/ElevatedRelaunch.h"
#include "script/InstallScript.h"
#include "uninstaller/SelfRemoval.h"
#include "uninstaller/Uninstall.h"

#include <windows.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // No DLL is ever loaded from the folder the program lies in.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    Language = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_POLISH ? LangPolish : LangEnglish;
    int result = 3;
    AppContext context = {};
    try {
        CreateAppContext(&context, instance);
        CoInitialize(nullptr);
        isAdmin = ShellSaysAdministrator();
        StrArray arguments = AppArguments();
        if (arguments.length() >= 1 && StrEqualNoCase(arguments.ref(0), FinishSwitch)) {
            StrArray rest;
            rest.makeEmpty();
            rest.append(arguments.items() + 1, arguments.length() - 1);
            result = FinishFromCopy(rest);
        } else {
            result = RunUninstall(arguments);
        }
        CoUninitialize();
        DestroyAppContext(&context);
    } catch (const Error& error) {
        ShowError(nullptr, Tr(L"Nieudana deinstalacja", L"Uninstall failed"), error);
    }
    ToolkitClasses.release();
    return result;
}
