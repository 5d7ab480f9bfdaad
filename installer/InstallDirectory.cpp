#include "installer/InstallDirectory.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/FileSecurity.h"
#include "core/Path.h"
#include "core/PathWalk.h"
#include "script/InstallScript.h"

#include <windows.h>
#include <sddl.h>

namespace {

// Folders of an all-users program: only the system and administrators may change them, users read
// and run what is inside, and nothing comes from the parent (which may let users create and
// change folders, as the root of a drive does, or pass such rights on to what is made in it).
const wchar_t* const ProtectedFolder = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

const ACCESS_MASK CheckAccess = WalkAccess | READ_CONTROL;
// The directory itself is held without FILE_SHARE_DELETE: no one can rename or delete it, or
// (on NTFS) rename a folder above it, while it is open. It asks for no DELETE itself, so that a
// program whose current folder it is does not stop the installation.
const ACCESS_MASK HoldAccess = WalkAccess | READ_CONTROL;
const ULONG ShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
const LONG NameCollision = static_cast<LONG>(0xC0000035);

bool Exists(const Str& path)
{
    return GetFileAttributesW(path.text()) != INVALID_FILE_ATTRIBUTES;
}

Str WithoutTrailingSeparators(const Str& path)
{
    int64_t length = path.length();
    while (length > 0 && path.text()[length - 1] == L'\\')
        length--;
    return Str(path.text(), length);
}

void RemoveFolders(const StrArray& folders)
{
    for (int64_t i = folders.length() - 1; i >= 0; i--)
        RemoveDirectoryW(folders.ref(i).text());
}

// For all users: the path walked from its root through handles, each folder checked or made.
DirectoryOutcome PrepareForAllUsers(InstallHost& host, const Str& dir, PreparedDirectory& prepared)
{
    Str path = WithoutTrailingSeparators(NormalizePath(dir));
    int64_t rootLength = RootLength(path);
    prepared.culprit = dir;
    OwnedLocal descriptor;
    if (rootLength == 0 || rootLength >= path.length() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedFolder, SDDL_REVISION_1,
                                                              descriptor.receive(), nullptr))
        return DirectoryOutcome::CannotCreate;
    Str root(path.text(), rootLength);
    prepared.culprit = root;
    OwnedFileHandle current(CreateFileW(root.text(), CheckAccess, ShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!current)
        return DirectoryOutcome::CannotCreate;
    if (!HostOnlyAdministratorsCanChange(host, current.get(), root, ChangeScope::RootEntries))
        return DirectoryOutcome::OthersCanChange;

    StrArray made;
    made.makeEmpty();
    DirectoryOutcome outcome = DirectoryOutcome::Ready;
    for (int64_t start = rootLength, end = rootLength; outcome == DirectoryOutcome::Ready && start < path.length();
         start = end + 1) {
        for (end = start; end < path.length() && path.text()[end] != L'\\';)
            end++;
        bool last = end == path.length();
        Str name(path.text() + start, end - start);
        Str folder(path.text(), end);
        prepared.culprit = folder;
        ACCESS_MASK access = last ? HoldAccess : CheckAccess;
        ULONG share = last ? ShareNoDelete : ShareAll;
        OwnedFileHandle next;
        WalkStep step = OpenChild(current.get(), name.text(), name.length(), access, FILE_DIRECTORY_FILE, next, share);
        bool madeNow = false;
        if (step == WalkStep::Missing) {
            LONG status = CreateChild(current.get(), name, FILE_DIRECTORY_FILE, descriptor.get(), access, share, next);
            madeNow = status >= 0;
            if (madeNow) {
                made.append(folder);
                step = WalkStep::Opened;
            } else if (status == NameCollision) {
                // It appeared meanwhile: it must pass like any folder that was there.
                step = OpenChild(current.get(), name.text(), name.length(), access, FILE_DIRECTORY_FILE, next,
                                 share);
            }
        }
        if (step == WalkStep::Link)
            outcome = DirectoryOutcome::IsLink;
        else if (step != WalkStep::Opened)
            outcome = DirectoryOutcome::CannotCreate;
        else if (!madeNow && !HostOnlyAdministratorsCanChange(host, next.get(), folder,
                                                              last ? ChangeScope::Whole : ChangeScope::Entries))
            outcome = DirectoryOutcome::OthersCanChange;
        current = static_cast<OwnedFileHandle&&>(next);
    }
    if (outcome == DirectoryOutcome::Ready && !HandleIsAt(current.get(), path)) {
        prepared.culprit = dir;
        outcome = DirectoryOutcome::IsLink;
    }
    if (outcome != DirectoryOutcome::Ready) {
        current.reset();
        RemoveFolders(made);
        return outcome;
    }
    prepared.handle = static_cast<OwnedFileHandle&&>(current);
    prepared.created.append(made.items(), made.length());
    return outcome;
}

// For one user: the missing folders made by path, links on the way followed, nothing checked.
DirectoryOutcome PrepareForOneUser(const Str& dir, PreparedDirectory& prepared)
{
    prepared.culprit = dir;
    StrArray missing; // the deepest first
    missing.makeEmpty();
    for (Str folder = dir; !folder.isEmpty() && !Exists(folder);) {
        missing.append(folder);
        Str parent = ParentDirectory(folder);
        if (parent.length() >= AddTrailingSlash(folder).length())
            break; // a root, or a name without a parent
        folder = parent;
    }
    StrArray made;
    made.makeEmpty();
    for (int64_t i = missing.length() - 1; i >= 0; i--) {
        if (CreateDirectoryW(missing.ref(i).text(), nullptr))
            made.append(missing.ref(i));
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            break; // the open below tells
    }
    OwnedFileHandle held(CreateFileW(dir.text(), HoldAccess, ShareNoDelete, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO basic = {};
    if (!held || !GetFileInformationByHandleEx(held.get(), FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        held.reset();
        RemoveFolders(made);
        return DirectoryOutcome::CannotCreate;
    }
    prepared.handle = static_cast<OwnedFileHandle&&>(held);
    prepared.created.append(made.items(), made.length());
    return DirectoryOutcome::Ready;
}

} // namespace

DirectoryOutcome PrepareDirectory(InstallHost& host, const Str& dir, bool forAllUsers, PreparedDirectory& prepared)
{
    prepared.path = dir;
    prepared.forAllUsers = forAllUsers;
    prepared.created.makeEmpty();
    return forAllUsers ? PrepareForAllUsers(host, dir, prepared) : PrepareForOneUser(dir, prepared);
}

void ReleaseDirectory(PreparedDirectory& prepared)
{
    prepared.handle.reset();
    RemoveFolders(prepared.created);
}

bool CreateFolderIn(const PreparedDirectory& prepared, const Str& path)
{
    if (!prepared.forAllUsers)
        return CreateDirectoryW(path.text(), nullptr);
    OwnedLocal descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ProtectedFolder, SDDL_REVISION_1, descriptor.receive(),
                                                              nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
    return CreateDirectoryW(path.text(), &attributes);
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

void MakeInstallDirectory(InstallHost& host, PreparedDirectory& prepared)
{
    DirectoryOutcome outcome = PrepareDirectory(host, Script.installDir, isAdmin && !Script.perUserInstall, prepared);
    if (outcome == DirectoryOutcome::Ready)
        return;
    HostStatus(host, Str(Tr(L"Tworzenie katalogu    NIEUDANE", L"Creating directory    FAILED")), Str());
    const wchar_t* dir = Script.installDir.text();
    if (outcome == DirectoryOutcome::CannotCreate) {
        const wchar_t* pieces[] = {Tr(L"Nieudane tworzenie katalogu\n", L"Failed to create directory\n"), dir,
                                   nullptr};
        HostAlertPieces(host, pieces, L"+OK", 1);
        throw Abort();
    }
    bool itself = StrEqualNoCase(WithoutTrailingSeparators(NormalizePath(prepared.culprit)),
                                 WithoutTrailingSeparators(NormalizePath(Script.installDir)));
    const wchar_t* link = itself ? Tr(L"\njest dowiązaniem do innego miejsca (złączem lub dowiązaniem "
                                      L"symbolicznym), więc nie można w nim "
                                      L"bezpiecznie zainstalować programu dla wszystkich użytkowników.",
                                      L"\nis a link to another place (a junction or a symbolic link), so a "
                                      L"program for all users cannot "
                                      L"be installed into it safely.")
                                 : Tr(L"\nna drodze do katalogu instalacji jest dowiązaniem do innego miejsca "
                                      L"(złączem lub dowiązaniem symbolicznym), więc nie można pod nim "
                                      L"bezpiecznie zainstalować programu dla wszystkich użytkowników.",
                                      L"\non the way to the installation directory is a link to another place "
                                      L"(a junction or a symbolic link), so a program for all users cannot be "
                                      L"installed below it safely.");
    const wchar_t* others = itself ? Tr(L"\nmoże być zmieniany przez użytkowników bez uprawnień administratora, "
                                        L"więc nie można w nim "
                                        L"bezpiecznie zainstalować programu dla wszystkich użytkowników: mogliby "
                                        L"podmienić jego pliki.",
                                        L"\ncan be changed by users without administrator rights, so a program for "
                                        L"all users cannot be "
                                        L"installed into it safely: they could replace its files.")
                                   : Tr(L"\nna drodze do katalogu instalacji może być zmieniany przez użytkowników "
                                        L"bez uprawnień administratora, więc nie można pod nim bezpiecznie "
                                        L"zainstalować programu dla wszystkich użytkowników: mogliby przenieść "
                                        L"lub podmienić instalację.",
                                        L"\non the way to the installation directory can be changed by users "
                                        L"without administrator rights, so a program for all users cannot be "
                                        L"installed below it safely: they could move or replace the "
                                        L"installation.");
    const wchar_t* pieces[] = {
        itself ? Tr(L"Katalog instalacji\n", L"The installation directory\n") : Tr(L"Katalog\n", L"The folder\n"),
        prepared.culprit.text(), outcome == DirectoryOutcome::IsLink ? link : others,
        Tr(L"\n\nNic nie zostało zainstalowane. Uruchom instalator ponownie i wybierz inny katalog.",
           L"\n\nNothing has been installed. Run the installer again and choose another directory."),
        nullptr};
    HostAlertPieces(host, pieces, L"+OK", 2);
    throw Abort();
}
