#include "core/Error.h"

#include <windows.h>

void ThrowLastError(const wchar_t* name, const wchar_t* call)
{
    ThrowWinError(GetLastError(), name, call);
}
