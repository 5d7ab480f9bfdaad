// The user locale's text services under case mapping and case-insensitive comparison: the part
// of CharCase that is bound to the system (LocaleText.cpp on Windows).
#ifndef LUMIVO_CORE_LOCALETEXT_H
#define LUMIVO_CORE_LOCALETEXT_H

#include <stdint.h>

// Maps length units to upper or lower case into out (room for length units); returns the number
// of units written, 0 when the system cannot map them.
int LocaleMapCase(const wchar_t* in, int32_t length, wchar_t* out, bool upper);
// -1, 0 or +1: the order of a and b in the user locale, ignoring case.
int LocaleCompareNoCase(const wchar_t* a, int32_t lengthA, const wchar_t* b, int32_t lengthB);

#endif
