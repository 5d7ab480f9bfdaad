#include "installer/InstallDirectory.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/FileSecurity.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "script/InstallScript.h"

#include <windows.h>
#include <sddl.h>

namespace {

// Folders of an all-users program outside the program folder: only the system and administrators
// may change them, users read and run what is inside, and nothing comes from the parent (which
// may let users create and change folders, as the root of a drive does).
const wchar_t* const ProtectedFolder = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

bool Exists(const Str& path)
{
    return GetFileAttributesW(path.text()) != INVALID_FILE_ATTRIBUTES;
}

bool IsInProgramFolder(const Str& path)
{
    Str folder = ProgramFilesDir();
    Str inside = AddTrailingSlash(NormalizePath(path));
    return inside.length() > folder.length() &&
           StrEqualNoCase(inside.text(), folder.length(), folder.text(), folder.length());
}

// An existing directory that an all-users installation may use.
DirectoryOutcome CheckExisting(const Str& dir)
{
    DWORD attributes = GetFileAttributesW(dir.text());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DirectoryOutcome::CannotCreate;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return DirectoryOutcome::IsLink;
    OwnedFileHandle handle(CreateFileW(dir.text(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle)
        return DirectoryOutcome::CannotCreate;
    if (IsReparsePointHandle(handle.get()))
        return DirectoryOutcome::IsLink;
    return OnlyAdministratorsCanChange(handle.get()) ? DirectoryOutcome::Ready
                                                     : DirectoryOutcome::OthersCanChange;
}

} // namespace

DirectoryOutcome PrepareDirectory(const Str& dir, bool forAllUsers, StrArray& created)
{
    // The missing folders, the deepest first.
    StrArray missing;
    missing.makeEmpty();
    for (Str folder = dir; !folder.isEmpty() && !Exists(folder);) {
        missing.append(folder);
        Str parent = ParentDirectory(folder);
        if (parent.length() >= AddTrailingSlash(folder).length())
            break; // a root, or a name without a parent
        folder = parent;
    }
    if (missing.length() == 0)
        return forAllUsers ? CheckExisting(dir) : DirectoryOutcome::Ready;

    OwnedLocal descriptor;
    if (forAllUsers && !ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedFolder, SDDL_REVISION_1,
                                                                             descriptor.receive(), nullptr))
        return DirectoryOutcome::CannotCreate;
    SECURITY_ATTRIBUTES protectedFolder = {sizeof protectedFolder, descriptor.get(), FALSE};
    StrArray made;
    made.makeEmpty();
    for (int64_t i = missing.length() - 1; i >= 0; i--) {
        const Str& folder = missing.ref(i);
        bool protect = forAllUsers && !IsInProgramFolder(folder);
        if (CreateDirectoryW(folder.text(), protect ? &protectedFolder : nullptr)) {
            made.append(folder);
            continue;
        }
        DirectoryOutcome outcome = DirectoryOutcome::CannotCreate;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            if (i > 0)
                continue; // a parent that appeared meanwhile
            // The directory itself appeared meanwhile: it must pass like any existing one.
            outcome = forAllUsers ? CheckExisting(folder) : DirectoryOutcome::Ready;
            if (outcome == DirectoryOutcome::Ready)
                break;
        }
        RemoveCreatedFolders(made);
        return outcome;
    }
    created.append(made.items(), made.length());
    return DirectoryOutcome::Ready;
}

void RemoveCreatedFolders(const StrArray& created)
{
    for (int64_t i = created.length() - 1; i >= 0; i--)
        RemoveDirectoryW(created.ref(i).text());
}

StrArray FoldersAbove(const StrArray& created, const Str& dir)
{
    Str self = AddTrailingSlash(NormalizePath(dir));
    StrArray above;
    above.makeEmpty();
    for (int64_t i = 0; i < created.length(); i++)
        if (!StrEqualNoCase(AddTrailingSlash(NormalizePath(created.ref(i))), self))
            above.append(created.ref(i));
    return above;
}

StrArray MakeInstallDirectory(InstallHost& host)
{
    StrArray created;
    created.makeEmpty();
    DirectoryOutcome outcome =
        PrepareDirectory(Script.installDir, isAdmin && !Script.perUserInstall, created);
    if (outcome == DirectoryOutcome::Ready)
        return created;
    HostStatus(host, Str(Tr(L"Tworzenie katalogu    NIEUDANE", L"Creating directory    FAILED")), Str());
    const wchar_t* dir = Script.installDir.text();
    if (outcome == DirectoryOutcome::CannotCreate) {
        const wchar_t* pieces[] = {Tr(L"Nieudane tworzenie katalogu\n", L"Failed to create directory\n"), dir,
                                   nullptr};
        HostAlertPieces(host, pieces, L"+OK", 1);
        throw Abort();
    }
    const wchar_t* why = outcome == DirectoryOutcome::IsLink
                             ? Tr(L"\njest dowiązaniem do innego miejsca (złączem lub dowiązaniem "
                                  L"symbolicznym), więc nie można w nim "
                                  L"bezpiecznie zainstalować programu dla wszystkich użytkowników.",
                                  L"\nis a link to another place (a junction or a symbolic link), so a "
                                  L"program for all users cannot "
                                  L"be installed into it safely.")
                             : Tr(L"\nmoże być zmieniany przez użytkowników bez uprawnień administratora, "
                                  L"więc nie można w nim "
                                  L"bezpiecznie zainstalować programu dla wszystkich użytkowników: mogliby "
                                  L"podmienić jego pliki.",
                                  L"\ncan be changed by users without administrator rights, so a program for "
                                  L"all users cannot be "
                                  L"installed into it safely: they could replace its files.");
    const wchar_t* pieces[] = {
        Tr(L"Katalog instalacji\n", L"The installation directory\n"), dir, why,
        Tr(L"\n\nNic nie zostało zainstalowane. Uruchom instalator ponownie i wybierz inny katalog.",
           L"\n\nNothing has been installed. Run the installer again and choose another directory."),
        nullptr};
    HostAlertPieces(host, pieces, L"+OK", 2);
    throw Abort();
}
