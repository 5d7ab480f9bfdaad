// Random numbers that no one can predict, from the system's generator (for names of temporary
// files that must not be guessed in advance).
#ifndef LUMIVO_CORE_SECURERANDOM_H
#define LUMIVO_CORE_SECURERANDOM_H

#include "core/Str.h"

#include <stdint.h>

// 64 random bits; InternalError when the system's generator fails.
uint64_t SecureRandom64();

// The value as 16 lower-case hexadecimal digits.
Str HexDigits64(uint64_t value);

#endif
