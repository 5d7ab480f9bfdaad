// The process-wide table from window handles to toolkit objects: 51 bucket heads chained through
// GuiBase::registryNext. It owns nothing.
#ifndef LUMIVO_GUI_WINDOWREGISTRY_H
#define LUMIVO_GUI_WINDOWREGISTRY_H

#include <windows.h>

#include <stdint.h>

class GuiBase;

enum : uint32_t { WindowRegistryBuckets = 51 };

struct WindowRegistry {
    GuiBase* buckets[WindowRegistryBuckets];
};

extern WindowRegistry ToolkitWindows;

// (h + h/51 + h/51² + h/51³ + h/51⁴) mod 51 of the handle as an unsigned 64-bit number.
uint32_t WindowBucket(HWND window);
// Enters the object under its window handle; nothing for a null handle or one already present.
void RegisterWindow(GuiBase* object);
// Unlinks the first entry with the handle.
void UnregisterWindow(HWND window);
// The object registered for the window, or null.
GuiBase* FindWindowObject(HWND window);

#endif
