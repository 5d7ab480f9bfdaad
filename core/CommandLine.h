// Building command lines that the standard Windows splitting (CommandLineToArgvW) takes apart
// into exactly the arguments they were built from.
#ifndef LUMIVO_CORE_COMMANDLINE_H
#define LUMIVO_CORE_COMMANDLINE_H

#include "core/Str.h"

// The argument as it must stand on a command line: unchanged when it is not empty and holds no
// space, tab, line break or quote; otherwise in quotes, with every quote in it escaped and the
// backslashes doubled only where a quote follows them (the closing one included).
Str QuoteArgument(const Str& argument);

#endif
