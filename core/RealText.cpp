// RealToText on its own: the runtime's printf that it uses is 20 KB, and only a program that
// formats a real number links this file (through FormatArg's real constructor).
#include "core/Str.h"

#include "core/Error.h"

#include <stdio.h>

int64_t RealToText(double value, wchar_t (&buffer)[50])
{
    char narrow[64];
    int length = __mingw_snprintf(narrow, sizeof narrow, "%g", value);
    if (length < 0 || length > 49)
        throw IndexError();
    for (int i = 0; i <= length; i++)
        buffer[i] = static_cast<unsigned char>(narrow[i]);
    return length;
}
