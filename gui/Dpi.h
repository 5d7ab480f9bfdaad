// The screen's and a monitor's DPI, and system icons loaded at a scaled size.
//
// Scaling rule: sizes the system gives at the screen DPI (icon metrics) scale to a DPI d with
// MulDiv(size, d, SystemDpi()); sizes the toolkit states in pixels at 96 DPI with MulDiv(size, d, 96).
#ifndef LUMIVO_GUI_DPI_H
#define LUMIVO_GUI_DPI_H

#include <windows.h>

#include <stdint.h>

// The screen's vertical DPI, never below 96; measured once for the run.
uint32_t SystemDpi();
// The effective DPI of the monitor, or 0 when the system cannot tell (no GetDpiForMonitor).
uint32_t MonitorDpi(HMONITOR monitor);
// A system icon (IDI_...) scaled down from its largest image to the size, or null when the
// system has no LoadIconWithScaleDown or it fails.
HICON LoadScaledIcon(const wchar_t* iconName, int32_t width, int32_t height);
// An icon resource of the module at exactly width x height pixels: its image of that size, or the
// nearest one scaled. Null when it cannot be loaded. The caller owns the icon (it is not shared:
// a shared icon would keep the size it was first loaded at).
HICON LoadModuleIcon(HINSTANCE module, uint32_t resourceId, int32_t width, int32_t height);

// For tests: how often the per-monitor DPI library was loaded (at most once).
int32_t DpiLibraryLoadCount();

#endif
