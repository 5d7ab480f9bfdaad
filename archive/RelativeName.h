// The one rule for the relative names that an installation writes and removes: the archive's
// entry names (checked by the packer and again by the installer's copy list) and the items of the
// uninstaller's lists. A name that passes stays inside the folder it is joined to and names an
// ordinary file there. Portable: the packer, the Windows programs and the fuzzers compile it alike.
#ifndef LUMIVO_ARCHIVE_RELATIVENAME_H
#define LUMIVO_ARCHIVE_RELATIVENAME_H

#include <stdint.h>

enum class NameProblem {
    None,
    Empty,
    Absolute,           // a leading "\" or "/"
    DriveOrStream,      // a ":" anywhere
    ForbiddenCharacter, // < > " | ? and, unless allowed, *
    ControlCharacter,   // below U+0020
    EmptyComponent,     // two separators in a row, or a final one where none is allowed
    DotComponent,       // "."
    DotDotComponent,    // ".."
    DeviceName,         // CON, PRN, AUX, NUL, COM0-9, LPT0-9, also with an extension
    TrailingDotOrSpace, // a component ending in "." or " ", which Windows would silently drop
};

enum : unsigned {
    NameMayEndInSeparator = 1, // a folder written as "sub\"
    NameMayHoldWildcards = 2,  // a pattern: "*" is allowed
};

// Why the name (length UTF-16 units; "\" and "/" both separate components) cannot be used, or
// None. flags combines the values above.
NameProblem CheckRelativeName(const char16_t* units, int64_t length, unsigned flags = 0);
NameProblem CheckRelativeName(const wchar_t* units, int64_t length, unsigned flags = 0);

// A short English description of a problem ("is absolute"), for the packer's messages.
const char* NameProblemText(NameProblem problem);

#endif
