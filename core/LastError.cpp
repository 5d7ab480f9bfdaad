#include "core/Error.h"

#include <windows.h>

void ThrowLastError(const wchar_t* name)
{
    ThrowWinError(GetLastError(), name);
}
