// An icon that this program loaded itself (not a shared system icon), destroyed with its owner.
#ifndef LUMIVO_GUI_OWNEDICON_H
#define LUMIVO_GUI_OWNEDICON_H

#include "core/Owned.h"

#include <windows.h>

struct IconTraits {
    typedef HICON Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DestroyIcon(h); }
};
typedef Owned<IconTraits> OwnedIcon;

#endif
