// The installer's entry point. The exit code of the process: 0 after a completed installation, 1
// when it did not complete, the elevated copy's code after a relaunch, 3 when start-up itself
// failed; a silent run tells more (installer/ExitCodes.h).
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ShowError.h"
#include "gui/ClassRegistry.h"
#include "installer/InstallerSwitches.h"
#include "installer/Startup.h"

#include <windows.h>

#include <new>

// A silent run shows nothing, not even its failure to start.
static bool AskedForSilence() noexcept
{
    try {
        return ParseInstallerSwitches(GetCommandLineW()).silent;
    } catch (...) {
        return false;
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Installers usually run from a Downloads folder: no DLL may ever be loaded from there.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    int result = 3;
    try {
        AppContext* context = new (std::nothrow) AppContext();
        if (!context)
            throw MemoryError();
        try {
            CreateAppContext(context, instance);
            AppMain();
            result = context->exitCode;
        } catch (...) {
            DestroyAppContext(context);
            delete context;
            throw;
        }
        DestroyAppContext(context);
        delete context;
    } catch (const Error& error) {
        if (!AskedForSilence())
            ShowError(nullptr, Tr(L"Nieudane uruchomienie Lumivo.", L"Lumivo failed to start."), error);
        result = 3;
    } catch (...) {
        result = 3;
    }
    ToolkitClasses.release();
    return result;
}
