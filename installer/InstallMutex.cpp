#include "installer/InstallMutex.h"

#include "core/Array.h"
#include "core/CharCase.h"
#include "core/Owned.h"

#include <windows.h>
#include <sddl.h>

static OwnedHandle HeldMutex;
static HANDLE HeldNamespace = nullptr;

// The namespace of all-users installations: its boundary requires the Administrators group, so a
// standard user can neither create it first nor create names in it.
static const wchar_t* const NamespaceName = L"Lumivo";
static const wchar_t* const NamespaceAccess = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

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

// Opens (or creates) the administrators' namespace. False when the system has no private
// namespaces (the global name then stands alone), false with refused set when the namespace cannot
// be made or opened (counted as held).
static bool OpenAdministratorsNamespace(HANDLE& opened, bool& refused)
{
    opened = nullptr;
    refused = false;
    HANDLE boundary = CreateBoundaryDescriptorW(NamespaceName, 0);
    if (!boundary)
        return false;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    OwnedLocal descriptor;
    bool ready = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
                 AddSIDToBoundaryDescriptor(&boundary, administrators) &&
                 ConvertStringSecurityDescriptorToSecurityDescriptorW(NamespaceAccess, SDDL_REVISION_1,
                                                                      descriptor.receive(), nullptr);
    if (ready) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
        opened = CreatePrivateNamespaceW(&attributes, boundary, NamespaceName);
        if (!opened && GetLastError() == ERROR_ALREADY_EXISTS)
            opened = OpenPrivateNamespaceW(boundary, NamespaceName);
    }
    DeleteBoundaryDescriptor(boundary);
    refused = !opened;
    return opened != nullptr;
}

bool TakeInstallMutex(const Str& programName, bool allUsers)
{
    Str name = InstallMutexName(programName, allUsers);
    HANDLE space = nullptr;
    bool refused = false;
    if (allUsers && OpenAdministratorsNamespace(space, refused)) {
        // "Global\Lumivo Setup X" becomes "Lumivo\Lumivo Setup X".
        name = Concat(Str(NamespaceName), Str(name.text() + 6, name.length() - 6));
    } else if (refused) {
        return false;
    }
    // Whoever holds the handle holds the program: the mutex is never owned, only kept open. Any
    // collision counts as held: a mutex someone made first, or another object under the name.
    SetLastError(0);
    OwnedHandle mutex(CreateMutexW(nullptr, FALSE, name.text()));
    DWORD error = GetLastError();
    if (!mutex || error == ERROR_ALREADY_EXISTS) {
        if (space)
            ClosePrivateNamespace(space, 0);
        return false;
    }
    HeldMutex = static_cast<OwnedHandle&&>(mutex);
    HeldNamespace = space;
    return true;
}

void ReleaseInstallMutex()
{
    HeldMutex.reset();
    if (HeldNamespace)
        ClosePrivateNamespace(HeldNamespace, 0);
    HeldNamespace = nullptr;
}
