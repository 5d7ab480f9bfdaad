// Entry names: relative paths in UTF-16 with backslashes, as the installer looks them up. The
// packer keeps them as UTF-8 for messages and files and converts at the archive's edge.
#ifndef LUMIVO_PACKER_ENTRYNAME_H
#define LUMIVO_PACKER_ENTRYNAME_H

#include <stdint.h>
#include <string>

// UTF-8 to UTF-16; false for malformed input (overlong forms, surrogates, truncated sequences).
bool Utf8ToUtf16(const std::string& text, std::u16string& units);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& units);

// A name from an archive as it may be printed: UTF-8 with control characters (C0, DEL, C1) and
// the invisible bidirectional controls written as \xHH or \uHHHH, so that a crafted name can
// neither drive the terminal nor disguise itself.
std::string ShownName(const std::u16string& name);

// The name folded for comparison without regard to case (per code point, to lower case).
std::u16string FoldedName(const std::u16string& name);

// One UTF-16 unit in upper case, as the installer maps it to match list items (a surrogate gives
// U+FFFD; a unit whose capital lies outside the basic plane stays as it is).
int32_t UpperCaseUnit(int32_t unit);

// Why a name cannot be an entry, or empty when it can: the installer's rule for relative names
// (archive/RelativeName.h). Both "\" and "/" count as separators, so that a name can never climb
// out of the folder that it is extracted into.
std::string EntryNameProblem(const std::u16string& name);

#endif
