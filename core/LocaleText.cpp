#include "core/LocaleText.h"

#include <windows.h>

int LocaleMapCase(const wchar_t* in, int32_t length, wchar_t* out, bool upper)
{
    return LCMapStringW(LOCALE_USER_DEFAULT, upper ? LCMAP_UPPERCASE : LCMAP_LOWERCASE, in, length, out,
                        length);
}

int LocaleCompareNoCase(const wchar_t* a, int32_t lengthA, const wchar_t* b, int32_t lengthB)
{
    int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, lengthA, b, lengthB);
    if (result == CSTR_LESS_THAN)
        return -1;
    if (result == CSTR_GREATER_THAN)
        return 1;
    return 0;
}
