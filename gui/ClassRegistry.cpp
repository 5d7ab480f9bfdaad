#include "gui/ClassRegistry.h"

#include "core/Error.h"
#include "gui/WindowProc.h"

ClassRegistry ToolkitClasses;

static const wchar_t* ClassCursor(uint32_t classFlags)
{
    if (classFlags & ClassArrowCursor)
        return IDC_ARROW;
    if (classFlags & ClassIBeamCursor)
        return IDC_IBEAM;
    if (classFlags & ClassNoCursor)
        return nullptr;
    return IDC_ARROW;
}

Str RegisterToolkitClass(HINSTANCE instance, const wchar_t* label, uint32_t classFlags)
{
    Str name = Concat(L"Lumivo ", label);
    for (int64_t i = 0; i < ToolkitClasses.length(); i++)
        if (ToolkitClasses.ref(i).name == name)
            return ToolkitClasses.ref(i).name;

    ToolkitClasses.append(ClassEntry{classFlags, name});
    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    if (classFlags & ClassDoubleClicks)
        windowClass.style |= CS_DBLCLKS;
    if (classFlags & ClassDropShadow)
        windowClass.style |= CS_DROPSHADOW;
    windowClass.lpfnWndProc = ToolkitWindowProc;
    windowClass.cbWndExtra = 30; // reserved, never used
    windowClass.hInstance = instance;
    const wchar_t* cursor = ClassCursor(classFlags);
    windowClass.hCursor = cursor ? LoadCursorW(nullptr, cursor) : nullptr;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name.text();
    if (!RegisterClassW(&windowClass)) {
        windowClass.style &= ~CS_DROPSHADOW; // some systems refuse the shadow
        if (!RegisterClassW(&windowClass)) {
            DWORD code = GetLastError();
            ToolkitClasses.remove(ToolkitClasses.length() - 1, 1);
            ThrowWinError(code, nullptr, L"RegisterClassW");
        }
    }
    return name;
}
