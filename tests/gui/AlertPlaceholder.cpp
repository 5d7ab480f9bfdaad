// The message box comes with AlertDialog, which defines Form::alert and Form::alertPieces. Until
// it is part of the toolkit, the toolkit's own tests (which never open an alert) link these
// stand-ins; delete this file when AlertDialog lands.
#include "gui/Form.h"

int32_t Form::alertPieces(const wchar_t* const* pieces, const wchar_t* title, const wchar_t* buttonSpec,
                          uint32_t alertFlags)
{
    throw InternalError();
}

int32_t Form::alert(const wchar_t* message, const wchar_t* title, const wchar_t* buttonSpec,
                    uint32_t alertFlags)
{
    throw InternalError();
}
