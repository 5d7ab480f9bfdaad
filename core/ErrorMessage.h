// The user's message for an Error, in the current interface language.
#ifndef LUMIVO_CORE_ERRORMESSAGE_H
#define LUMIVO_CORE_ERRORMESSAGE_H

#include "core/Error.h"
#include "core/Str.h"

// Chosen by the code alone; empty for the out-of-memory codes 8 and 14. A call that failed without
// a code (0) is named instead: "The system call CreateWindowExW failed without giving a reason.".
Str ErrorMessage(const Error& error);

// What the log keeps beside the message: the code, the call that failed and the error's text (the
// file, entry or key), as in "error 5, CreateFileW, C:\App\a.exe"; Polish "błąd 5, ...".
Str ErrorDetails(const Error& error);

// The log's line of a failure: what was being done, the message and the details, as in "Failed
// while writing C:\App\a.exe: Access denied ... (error 5, CreateFileW, C:\App\a.exe)".
Str FailureLine(const Str& step, const Error& error);

#endif
