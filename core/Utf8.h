// Decoding UTF-8 (the install script, the licence, the uninstall data) into Str.
#ifndef LUMIVO_CORE_UTF8_H
#define LUMIVO_CORE_UTF8_H

#include "core/Str.h"

#include <stdint.h>

// A leading byte-order mark is dropped when the input is longer than 2 bytes. Malformed input
// never fails: a broken sequence becomes one question mark and the byte that broke it starts the
// next character; a stray continuation byte or F8-FF is one question mark; input that ends
// inside a sequence gives the bits gathered so far.
Str Utf8ToStr(const uint8_t* bytes, int64_t count);

#endif
