// The plain-text form of a message box, as Ctrl+C puts it on the clipboard.
#ifndef LUMIVO_GUI_ALERTTEXT_H
#define LUMIVO_GUI_ALERTTEXT_H

#include "core/Str.h"
#include "gui/AlertButtons.h"

// Every CR LF stays; every other CR, every LF and every NUL unit becomes CR LF.
Str NormalizeLineBreaks(const Str& text);

// A line of 27 hyphens, the title, a line of hyphens, the message, a line of hyphens, the button
// captions joined by three spaces and a last line of hyphens, every line ended by CR LF and the
// line breaks normalised.
Str AlertClipboardText(const Str& title, const Str& message, const AlertButtons& buttons);

#endif
