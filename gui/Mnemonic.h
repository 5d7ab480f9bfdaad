// Mnemonics: the letter after "&" in a caption, which Alt (or the letter alone in a dialog) presses.
#ifndef LUMIVO_GUI_MNEMONIC_H
#define LUMIVO_GUI_MNEMONIC_H

#include "core/Str.h"

#include <stdint.h>

// The character that the caption's "&" marks, in lower case, or 0 without one ("&&" is a plain
// "&", not a mnemonic).
int32_t MnemonicOf(const Str& caption);
// Every caption without a mnemonic gets one: "&" before its first letter or digit that no other
// caption of the list uses. A caption whose letters are all taken stays without.
void AddMnemonics(Str* captions, int32_t count);

#endif
