// Case mapping and case-insensitive comparison of UTF-16 text.
#ifndef LUMIVO_CORE_CHARCASE_H
#define LUMIVO_CORE_CHARCASE_H

#include "core/Str.h"

#include <stdint.h>

// One code point in, one out. Negative values, lone surrogates and values above 10FFFF give
// U+FFFD; ASCII maps without a system call.
int32_t ToUpperChar(int32_t codePoint);
int32_t ToLowerChar(int32_t codePoint);

// Equal lengths in units and equal code points after lower-case folding.
bool StrEqualNoCase(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB);
bool StrEqualNoCase(const Str& a, const Str& b);
bool StrEqualNoCase(const Str& a, const wchar_t* b);

// A hash of the folded code points: texts that StrEqualNoCase holds equal hash alike.
uint32_t HashNoCase(const wchar_t* text, int64_t length);

// Three-way comparison (-1, 0, +1) of the user locale, ignoring case. Both lengths must fit in
// 32 bits (CheckFailed otherwise).
int StrCompareNoCase(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB);

#endif
