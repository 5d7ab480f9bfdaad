#include "gui/Dpi.h"

#include "gui/SystemFunction.h"

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

// Optional system functions are looked up once for the run.
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

HICON LoadModuleIcon(HINSTANCE module, uint32_t resourceId, int32_t width, int32_t height)
{
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, width, height, 0));
}
