// The matching of the install script's list items against relative names, one rule for every
// program that applies it: the installer expanding its copy list against the archive's entries,
// the uninstaller applying its delete lists, and the packer, which expands the copy list itself
// to put the archive's files in the order the installer will write them. Portable.
#ifndef LUMIVO_ARCHIVE_LISTPATTERN_H
#define LUMIVO_ARCHIVE_LISTPATTERN_H

#include <stdint.h>

// Upper-case mapping of one UTF-16 unit (the installer's is the user locale's).
typedef int32_t (*UpperCaseMapping)(int32_t unit);

// Whether name matches pattern: "*" matches any run of units but never starts at "\", "/" or
// ":"; other units compare after upper. The copy list's rule (wholeName false): a star once
// started runs on over separators, and a pattern that ends before the name matches (Data\* and
// even Dat match Data\sub\x.txt). The uninstaller's (wholeName true): the pattern must match the
// whole name, and a star stays within one folder level. The pattern runs as a set of positions
// over the name, so time grows with the product of the lengths. scratch holds
// 2 * (patternLength + 1) bytes.
bool MatchListPattern(const char16_t* name, int64_t nameLength, const char16_t* pattern, int64_t patternLength,
                      bool wholeName, UpperCaseMapping upper, uint8_t* scratch);
bool MatchListPattern(const wchar_t* name, int64_t nameLength, const wchar_t* pattern, int64_t patternLength,
                      bool wholeName, UpperCaseMapping upper, uint8_t* scratch);

#endif
