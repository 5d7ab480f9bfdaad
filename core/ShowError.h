// The one place where a caught Error reaches the user: its message, in the interface language, in
// a message box with an OK button.
#ifndef LUMIVO_CORE_SHOWERROR_H
#define LUMIVO_CORE_SHOWERROR_H

#include "core/Error.h"

class Form;

// Shows the error's message in a warning alert owned by the form (or by no window) and returns
// when the user has closed it. A null or empty title becomes "Problem - Lumivo" or "Error - Lumivo".
// Never throws: whatever fails while the message is built or shown is dropped. With doing (what
// was being done, such as "opening the window"), the message says so on a line of its own first.
void ShowError(Form* owner, const wchar_t* title, const Error& error, const wchar_t* doing = nullptr) noexcept;

#endif
