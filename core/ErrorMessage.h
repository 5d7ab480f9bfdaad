// The user's message for an Error, in the current interface language.
#ifndef LUMIVO_CORE_ERRORMESSAGE_H
#define LUMIVO_CORE_ERRORMESSAGE_H

#include "core/Error.h"
#include "core/Str.h"

// Chosen by the code alone; empty for the out-of-memory codes 8 and 14.
Str ErrorMessage(const Error& error);

#endif
