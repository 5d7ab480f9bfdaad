#include "gui/WindowRegistry.h"

#include "gui/GuiBase.h"

WindowRegistry ToolkitWindows = {};

uint32_t WindowBucket(HWND window)
{
    uint64_t h = reinterpret_cast<uint64_t>(window);
    uint64_t sum = h + h / 51 + h / 2601 + h / 132651 + h / 6765201; // wraps at 2^64
    return static_cast<uint32_t>(sum % WindowRegistryBuckets);
}

void RegisterWindow(GuiBase* object)
{
    if (!object->hwnd || FindWindowObject(object->hwnd))
        return;
    GuiBase*& head = ToolkitWindows.buckets[WindowBucket(object->hwnd)];
    object->registryNext = head;
    head = object;
}

void UnregisterWindow(HWND window)
{
    if (!window)
        return;
    for (GuiBase** link = &ToolkitWindows.buckets[WindowBucket(window)]; *link;
         link = &(*link)->registryNext) {
        if ((*link)->hwnd == window) {
            GuiBase* found = *link;
            *link = found->registryNext;
            found->registryNext = nullptr;
            return;
        }
    }
}

GuiBase* FindWindowObject(HWND window)
{
    if (!window)
        return nullptr;
    for (GuiBase* entry = ToolkitWindows.buckets[WindowBucket(window)]; entry; entry = entry->registryNext)
        if (entry->hwnd == window)
            return entry;
    return nullptr;
}
