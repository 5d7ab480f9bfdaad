#include "installer/InstallMutex.h"

#include "core/Array.h"
#include "core/CharCase.h"
#include "core/Owned.h"

#include <windows.h>

static OwnedHandle HeldMutex;

Str InstallMutexName(const Str& programName, bool allUsers)
{
    CharBuffer name;
    const wchar_t* prefix = allUsers ? L"Global\\Lumivo Setup " : L"Local\\Lumivo Setup ";
    name.appendText(prefix, TextLength(prefix));
    for (int64_t i = 0; i < programName.length(); i++) {
        wchar_t c = programName.text()[i];
        // Names that differ only in case are one program (so are their registry keys).
        wchar_t upper = c == L'\\' ? L'/' : static_cast<wchar_t>(ToUpperChar(c));
        name.appendText(c >= 0xD800 && c <= 0xDFFF ? &c : &upper, 1);
    }
    return Str(name.text(), name.length());
}

bool TakeInstallMutex(const Str& programName, bool allUsers)
{
    Str name = InstallMutexName(programName, allUsers);
    // Whoever holds the handle holds the program: the mutex is never owned, only kept open.
    OwnedHandle mutex(CreateMutexW(nullptr, FALSE, name.text()));
    DWORD error = GetLastError();
    if (!mutex)
        return error != ERROR_ACCESS_DENIED; // a name Windows refuses guards nothing, but stops nothing
    if (error == ERROR_ALREADY_EXISTS)
        return false;
    HeldMutex = static_cast<OwnedHandle&&>(mutex);
    return true;
}

void ReleaseInstallMutex()
{
    HeldMutex.reset();
}
