// The uninstaller: "_de_install.exe" (all users) or "_de_installu.exe" (per user), started from
// the Windows list of installed programs with the path of the program's data file, and "/S"
// anywhere after it for a quiet removal that shows nothing at all. Exit codes: 0 removed, 1 not
// everything removed (or nothing could be done), 2 declined, 3 the uninstaller could not start.
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

// "/S" anywhere after the program's name; false when the command line cannot be read.
static bool AskedForQuiet() noexcept
{
    try {
        StrArray arguments = SplitCommandLine(GetCommandLineW());
        for (int64_t i = 0; i < arguments.length(); i++)
            if (StrEqualNoCase(arguments.ref(i), L"/S"))
                return true;
    } catch (...) {
    }
    return false;
}

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
        if (!AskedForQuiet())
            ShowError(nullptr, Tr(L"Nieudana deinstalacja", L"Uninstall failed"), error);
        result = 3;
    }
    ToolkitClasses.release();
    return result;
}
