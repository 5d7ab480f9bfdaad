// The window classes that the toolkit registered, one per label, in registration order.
#ifndef LUMIVO_GUI_CLASSREGISTRY_H
#define LUMIVO_GUI_CLASSREGISTRY_H

#include "core/Array.h"
#include "core/Str.h"

#include <windows.h>

#include <stdint.h>

struct ClassEntry {
    uint32_t flags; // the class flags of the registration
    Str name;
};

typedef Array<ClassEntry, false, 4> ClassRegistry;

extern ClassRegistry ToolkitClasses;

// Class flags: the cursor (0x01 arrow, 0x02 I-beam, 0x04 none; arrow when none of the three is
// set), 0x08 double clicks, 0x20 drop shadow.
enum : uint32_t {
    ClassArrowCursor = 0x01,
    ClassIBeamCursor = 0x02,
    ClassNoCursor = 0x04,
    ClassDoubleClicks = 0x08,
    ClassDropShadow = 0x20,
};

// Registers "Lumivo " + label with the toolkit window procedure, once per label, and returns the
// class name; a later call with the same label keeps the first flags. When the system refuses the
// drop shadow, the class is registered without it. Failure: MemoryError or WinError, and nothing
// is recorded.
Str RegisterToolkitClass(HINSTANCE instance, const wchar_t* label, uint32_t classFlags);

#endif
