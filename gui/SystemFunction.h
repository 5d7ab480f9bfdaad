// Optional system functions, looked up at run time in a library of the system folder.
#ifndef LUMIVO_GUI_SYSTEMFUNCTION_H
#define LUMIVO_GUI_SYSTEMFUNCTION_H

// Converts to any function pointer type without a warning.
typedef void (*AnyFunction)();

// The function of the library, or null when either is missing. The library is loaded from the
// system folder only (an installer usually runs from a downloads folder, where a planted DLL of
// the same name would otherwise be found first) and stays loaded for the rest of the run.
AnyFunction LookUpSystemFunction(const wchar_t* library, const char* function);

#endif
