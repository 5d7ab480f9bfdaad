// The installer's entry point.
#include "installer/Startup.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Installers usually run from a Downloads folder: no DLL may ever be loaded from there.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return WinMain(instance);
}
