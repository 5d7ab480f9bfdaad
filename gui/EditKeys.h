// The keys an edit control may take from the dialog manager (its specialKeys bits), and the
// WM_GETDLGCODE answers that follow from them.
#ifndef LUMIVO_GUI_EDITKEYS_H
#define LUMIVO_GUI_EDITKEYS_H

#include <windows.h>

#include <stdint.h>

enum : uint32_t {
    WantsEnter = 0x1,
    WantsTab = 0x2,
    WantsEsc = 0x4,
    WantsUpDown = 0x8, // single-line edits only
};

// The key of a WM_KEYDOWN, WM_KEYUP or WM_CHAR message (0 for any other message): its virtual key
// or character, which are the same numbers for Enter, Tab and Esc.
WPARAM KeyOfMessage(const MSG* message);

// True when specialKeys claims the key of the message (Enter, Tab or Esc, and with WantsUpDown the
// Up and Down arrows of WM_KEYDOWN and WM_KEYUP): the edit then answers DLGC_WANTALLKEYS.
bool EditWantsKey(uint32_t specialKeys, const MSG* message);

#endif
