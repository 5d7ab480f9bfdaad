#include "gui/SystemFunction.h"

#include <windows.h>

AnyFunction LookUpSystemFunction(const wchar_t* library, const char* function)
{
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? reinterpret_cast<AnyFunction>(GetProcAddress(module, function)) : nullptr;
}
