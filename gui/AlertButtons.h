// The buttons of a message box, written as one short text: one to four captions separated by "|".
// A caption that starts with "+" is the default button (id IDOK), one that starts with "-" the
// cancel button (id IDCANCEL); the marker is not part of the caption. Any other caption is a plain
// button with the id 50 + its index. Examples: "+OK", "+Retry|-Cancel", "Yes|No".
#ifndef LUMIVO_GUI_ALERTBUTTONS_H
#define LUMIVO_GUI_ALERTBUTTONS_H

#include "core/Str.h"

#include <stdint.h>

enum : int32_t { MaxAlertButtons = 4 };
enum : uint32_t { PlainButtonIdBase = 50 };

struct AlertButtons {
    int32_t count;
    Str captions[MaxAlertButtons];
    uint32_t ids[MaxAlertButtons];
    int32_t defaultIndex; // -1 if none
    int32_t cancelIndex;  // -1 if none
};

// InternalError for an empty text, a fifth caption, an empty one ("a||b", "|a"), or a second
// default or cancel button. One "|" at the very end is allowed and adds nothing.
AlertButtons ParseAlertButtons(const wchar_t* buttons);

#endif
