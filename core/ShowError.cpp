// Built into the toolkit's library: it needs the message box, and the core library stays free of
// the user interface.
#include "core/ShowError.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/ErrorMessage.h"
#include "gui/AlertDialog.h"

void ShowError(Form* owner, const wchar_t* title, const Error& error, const wchar_t* doing) noexcept
{
    if (!title || !*title)
        title = Tr(L"Problem - Lumivo", L"Error - Lumivo");
    try {
        const wchar_t* outOfMemory = Tr(L"Brak pamięci. Operacja nie może być wykonana.",
                                        L"Out of memory. Operation could not be completed.");
        // Out of memory: a fixed text, since building a message would need memory.
        bool memoryCode = error.code == 8 || error.code == 14;
        Str message = memoryCode ? Str() : ErrorMessage(error);
        if (message.isEmpty())
            message = Str(outOfMemory);
        if (doing && *doing) {
            wchar_t upper = static_cast<wchar_t>(ToUpperChar(doing[0]));
            Str first(&upper, 1);
            const wchar_t* pieces[] = {first.text(), doing + 1, L":\n", message.text(), nullptr};
            message = ConcatList(pieces);
        }
        const wchar_t* text = message.text();
        if (owner)
            owner->alert(text, title, L"+OK", AlertWarning);
        else
            ShowAlert(nullptr, text, title, L"+OK", AlertWarning);
    } catch (...) {
        // an error report must never take the program down
    }
}
