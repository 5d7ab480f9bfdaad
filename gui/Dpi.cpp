#include "gui/Dpi.h"

#include <shellscalingapi.h>

static uint32_t CachedSystemDpi = 0; // 0: not measured yet

uint32_t SystemDpi()
{
    if (CachedSystemDpi == 0) {
        uint32_t dpi = 96;
        if (HDC screen = GetDC(nullptr)) {
            int measured = GetDeviceCaps(screen, LOGPIXELSY);
            ReleaseDC(nullptr, screen);
            if (measured > 96)
                dpi = static_cast<uint32_t>(measured);
        }
        CachedSystemDpi = dpi;
    }
    return CachedSystemDpi;
}

// Optional system functions are looked up once for the run. The libraries are loaded from the
// system folder only: an installer usually runs from a downloads folder, where a planted DLL of
// the same name would otherwise be found first. They stay loaded for the rest of the run.
typedef void (*AnyFunction)(); // converts to any function pointer type without a warning

static AnyFunction LookUpSystemFunction(const wchar_t* library, const char* function)
{
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? reinterpret_cast<AnyFunction>(GetProcAddress(module, function)) : nullptr;
}

typedef HRESULT(WINAPI* GetDpiForMonitorFunction)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);
static GetDpiForMonitorFunction GetDpiForMonitorEntry = nullptr;
static bool DpiLookedUp = false;
static int32_t DpiLoads = 0;

uint32_t MonitorDpi(HMONITOR monitor)
{
    if (!DpiLookedUp) {
        DpiLookedUp = true;
        DpiLoads++;
        GetDpiForMonitorEntry = reinterpret_cast<GetDpiForMonitorFunction>(
            LookUpSystemFunction(L"Shcore.dll", "GetDpiForMonitor"));
    }
    if (!GetDpiForMonitorEntry)
        return 0;
    UINT x = 0;
    UINT y = 0;
    if (GetDpiForMonitorEntry(monitor, MDT_EFFECTIVE_DPI, &x, &y) != S_OK)
        return 0;
    return y;
}

int32_t DpiLibraryLoadCount()
{
    return DpiLoads;
}

typedef HRESULT(WINAPI* LoadIconWithScaleDownFunction)(HINSTANCE, PCWSTR, int, int, HICON*);
static LoadIconWithScaleDownFunction LoadIconWithScaleDownEntry = nullptr;
static bool IconLookedUp = false;

HICON LoadScaledIcon(const wchar_t* iconName, int32_t width, int32_t height)
{
    if (!IconLookedUp) {
        IconLookedUp = true;
        LoadIconWithScaleDownEntry = reinterpret_cast<LoadIconWithScaleDownFunction>(
            LookUpSystemFunction(L"Comctl32.dll", "LoadIconWithScaleDown"));
    }
    if (!LoadIconWithScaleDownEntry)
        return nullptr;
    HICON icon = nullptr;
    if (LoadIconWithScaleDownEntry(nullptr, iconName, width, height, &icon) != S_OK)
        return nullptr;
    return icon;
}
