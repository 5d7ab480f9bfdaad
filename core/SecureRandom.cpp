#include "core/SecureRandom.h"

#include "core/Error.h"

#include <windows.h>

// RtlGenRandom: exported by advapi32 under this name since Windows XP; the platform headers
// declare it only for some configurations.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

uint64_t SecureRandom64()
{
    uint64_t value = 0;
    if (!SystemFunction036(&value, sizeof value))
        throw InternalError();
    return value;
}

Str HexDigits64(uint64_t value)
{
    Str text = Str::Allocate(16);
    wchar_t* digits = text.bufferForFilling();
    for (int i = 15; i >= 0; i--) {
        digits[i] = L"0123456789abcdef"[value & 15];
        value >>= 4;
    }
    return text;
}
