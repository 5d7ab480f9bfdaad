// Turning fuzz input into the texts that the Windows programs handle (built natively with 16-bit
// wchar_t), and the one way a fuzz target reports a broken rule.
#ifndef LUMIVO_TESTS_FUZZTEXT_H
#define LUMIVO_TESTS_FUZZTEXT_H

#include "core/Str.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

// Stops the run with the rule that failed; libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            fprintf(stderr, "broken rule: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                    \
            abort();                                                                                         \
        }                                                                                                    \
    } while (0)

// The bytes as little-endian UTF-16 units (an odd last byte is dropped): any unit at all,
// unpaired surrogates and zeros included.
inline Str UnitsOf(const uint8_t* data, size_t size)
{
    Str text = Str::Allocate(static_cast<int64_t>(size / 2));
    wchar_t* units = text.bufferForFilling();
    for (size_t i = 0; i + 1 < size; i += 2)
        units[i / 2] = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    return text;
}

#endif
