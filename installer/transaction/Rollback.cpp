#include "installer/transaction/Rollback.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/FileSecurity.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "core/PathWalk.h"
#include "core/StrFormat.h"
#include "installer/InstallDirectory.h"
#include "installer/InstallFile.h"
#include "installer/InstallHost.h"
#include "installer/ListItem.h"
#include "installer/Shortcut.h"
#include "installer/UninstallRegistration.h"
#include "installer/transaction/InstallJournal.h"
#include "installer/transaction/InstallTransaction.h"
#include "installer/transaction/RegistrySnapshot.h"
#include "script/InstallScript.h"

#include <windows.h>

namespace {

void Log(InstallHost& host, const wchar_t* polish, const wchar_t* english, const Str& a)
{
    if (host.writeLog)
        HostLog(host, StrFormat(Tr(polish, english), a));
}

bool Exists(const Str& path)
{
    return GetFileAttributesW(path.text()) != INVALID_FILE_ATTRIBUTES;
}

bool StartsWithNoCase(const Str& text, const Str& prefix)
{
    return text.length() >= prefix.length() &&
           StrEqualNoCase(text.text(), prefix.length(), prefix.text(), prefix.length());
}

bool EndsWith(const Str& text, const wchar_t* suffix)
{
    int64_t length = TextLength(suffix);
    return text.length() >= length && Str(text.text() + text.length() - length, length) == suffix;
}

// The part of path below directory, when path lies inside it by the rule of relative names.
bool RelativeInside(const Str& path, const Str& directory, Str& relative)
{
    Str prefix = AddTrailingSlash(directory);
    if (!StartsWithNoCase(path, prefix))
        return false;
    // A directory given with a trailing backslash doubles it in the paths made from it.
    int64_t start = prefix.length();
    while (start < path.length() && path.at(start) == L'\\')
        start++;
    relative = Str(path.text() + start, path.length() - start);
    // Directories are recorded with their final backslash.
    return IsContainedRelativePath(relative, NameMayEndInSeparator);
}

bool InsideDirectory(const Str& path, const Str& directory)
{
    Str relative;
    return RelativeInside(path, directory, relative);
}

// The last component of a path.
Str NameOf(const Str& path)
{
    int64_t start = path.length();
    while (start > 0 && path.at(start - 1) != L'\\' && path.at(start - 1) != L'/')
        start--;
    return Str(path.text() + start, path.length() - start);
}

// The name TemporaryNameFor gives beside path: path, a dot, 16 hexadecimal digits, "$$".
bool IsTemporaryNameOf(const Str& name, const Str& path)
{
    if (name.length() != path.length() + 19 || !StartsWithNoCase(name, path) || !EndsWith(name, L"$$") ||
        name.at(path.length()) != L'.')
        return false;
    for (int64_t i = path.length() + 1; i < path.length() + 17; i++) {
        wchar_t c = name.at(i);
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    }
    return true;
}

// One of the program's own links, in the folders of its kind of installation.
bool IsProgramLink(const Str& path, const JournalOwner& owner)
{
    for (int csidl : {StartMenuFolder(owner.perUser), DesktopFolder(owner.perUser)}) {
        try {
            if (StrEqualNoCase(path, ShortcutPath(nullptr, csidl, owner.programName)))
                return true;
        } catch (const Error&) {
            // a folder that does not exist holds no link
        }
    }
    return false;
}

int64_t StepNumber(const Str& text)
{
    if (text.isEmpty() || text.length() > 12)
        return -1;
    int64_t number = 0;
    for (int64_t i = 0; i < text.length(); i++) {
        if (text.at(i) < L'0' || text.at(i) > L'9')
            return -1;
        number = number * 10 + (text.at(i) - L'0');
    }
    return number;
}

// A "put" record that stays within what the owner may touch: a file inside the directory or one
// of the program's links, with what it kept and its temporary file beside it.
bool PutIsOwned(const StrArray& fields, const JournalOwner& owner)
{
    if (fields.length() != 5 || StepNumber(fields.ref(1)) < 0)
        return false;
    const Str& path = fields.ref(2);
    const Str& temporary = fields.ref(4);
    if (!IsTemporaryNameOf(fields.ref(3), path) ||
        (!temporary.isEmpty() && !IsTemporaryNameOf(temporary, path)))
        return false;
    return InsideDirectory(path, owner.installDir) || IsProgramLink(path, owner);
}

// A "create" record: a file that the run made in place, where nothing stood, inside the directory.
bool CreateIsOwned(const StrArray& fields, const JournalOwner& owner)
{
    return fields.length() == 3 && StepNumber(fields.ref(1)) >= 0 && InsideDirectory(fields.ref(2), owner.installDir);
}

// The directory itself or a folder above it.
bool HoldsDirectory(const Str& path, const JournalOwner& owner)
{
    return StrEqualNoCase(AddTrailingSlash(path), AddTrailingSlash(owner.installDir)) ||
           InsideDirectory(owner.installDir, path);
}

// What the records say about each numbered put: a file that was absent before it, and puts that
// did not happen.
struct StepFlags {
    ByteArray absent;
    ByteArray skipped;
};

void Mark(ByteArray& flags, int64_t number)
{
    if (number < 0)
        return;
    if (flags.length() <= number) {
        int64_t old = flags.length();
        flags.insertUninitialized(old, number + 1 - old);
        for (int64_t i = old; i <= number; i++)
            flags.ref(i) = 0;
    }
    flags.ref(number) = 1;
}

bool Marked(const ByteArray& flags, int64_t number)
{
    return number >= 0 && number < flags.length() && flags.ref(number);
}

StepFlags ReadFlags(const StrArray& lines)
{
    StepFlags flags;
    flags.absent.makeEmpty();
    flags.skipped.makeEmpty();
    for (int64_t i = 0; i < lines.length(); i++) {
        StrArray fields = JournalFields(lines.ref(i));
        if (fields.length() == 2 && fields.ref(0) == L"new")
            Mark(flags.absent, StepNumber(fields.ref(1)));
        else if (fields.length() == 2 && fields.ref(0) == L"skip")
            Mark(flags.skipped, StepNumber(fields.ref(1)));
    }
    return flags;
}

// Whether every step number of the records is one the journal can hold: each step has a line of
// its own, so a number beyond the count of lines was never written by an installation.
bool StepNumbersFit(const StrArray& lines)
{
    for (int64_t i = 0; i < lines.length(); i++) {
        StrArray fields = JournalFields(lines.ref(i));
        const Str& kind = fields.ref(0);
        if (fields.length() >= 2 && (kind == L"put" || kind == L"create" || kind == L"new" || kind == L"skip") &&
            StepNumber(fields.ref(1)) >= lines.length())
            return false;
    }
    return true;
}

// Writes down the first thing that could not be undone.
bool Failed(UndoFailure& failure, const Str& path, uint32_t code)
{
    if (failure.code == 0) {
        failure.code = code ? code : ERROR_GEN_FAILURE;
        failure.path = path;
    }
    return false;
}

// A link on the way to path: not this run's to follow, so left as it is.
bool LeftBehindLink(InstallHost& host, const Str& path)
{
    Log(host, L"Pominięto [] (dowiązanie po drodze)", L"Left [] alone (a link on the way)", path);
    return true;
}

// Opens the folder that holds path (inside the directory); Missing when it is gone.
WalkStep OpenFolderOf(const JournalOwner& owner, const Str& path, OwnedFileHandle& parent, Str& name,
                      DWORD& code)
{
    Str relative;
    if (!RelativeInside(path, owner.installDir, relative))
        return WalkStep::Failed;
    return OpenParentBelow(owner.directory, relative, parent, name, &code);
}

// Deletes the file name of the folder parent, never through a link; path names it.
bool DeleteIn(InstallHost& host, HANDLE parent, const Str& name, const Str& path, UndoFailure& failure)
{
    OwnedFileHandle file;
    DWORD code = 0;
    WalkStep step =
        OpenChild(parent, name.text(), name.length(), DeleteAccess, FILE_NON_DIRECTORY_FILE, file, ShareAll, &code);
    if (step == WalkStep::Missing)
        return true;
    if (step == WalkStep::Link)
        return LeftBehindLink(host, path);
    if (step == WalkStep::Opened)
        code = DeleteThroughHandle(file.get());
    if (step == WalkStep::Opened && code == 0) {
        Log(host, L"Usunięto []", L"Deleted []", path);
        return true;
    }
    Log(host, L"Nie można usunąć []", L"Could not delete []", path);
    return Failed(failure, path, code);
}

// Deletes a file kept aside (or a temporary one) in the folder parent, a kept link as itself; code
// 0 when it is gone or was never there.
DWORD DeleteKept(HANDLE parent, const Str& name)
{
    OwnedFileHandle kept;
    LONG status = OpenEntryItself(parent, name.text(), name.length(), DeleteAccess, FILE_NON_DIRECTORY_FILE,
                                  ShareAll, kept);
    if (status >= 0)
        return DeleteThroughHandle(kept.get());
    DWORD code = CodeOfStatus(status);
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? 0 : code;
}

// A put of one of the program's links, which lie in the shell's own folders.
bool UndoLinkPut(InstallHost& host, const StrArray& fields, const StepFlags& flags, UndoFailure& failure)
{
    const Str& path = fields.ref(2);
    const Str& aside = fields.ref(3);
    bool undone = true;
    if (Exists(aside)) {
        if (MoveFileExW(aside.text(), path.text(), MOVEFILE_REPLACE_EXISTING)) {
            Log(host, L"Przywrócono []", L"Restored []", path);
        } else {
            undone = Failed(failure, path, GetLastError());
            Log(host, L"Nie można przywrócić []", L"Could not restore []", path);
        }
    } else if (Marked(flags.absent, StepNumber(fields.ref(1))) && Exists(path)) {
        if (DeleteFileW(path.text())) {
            Log(host, L"Usunięto []", L"Deleted []", path);
        } else {
            undone = Failed(failure, path, GetLastError());
            Log(host, L"Nie można usunąć []", L"Could not delete []", path);
        }
    }
    return undone;
}

bool UndoPut(InstallHost& host, const StrArray& fields, const JournalOwner& owner, const StepFlags& flags,
             UndoFailure& failure)
{
    int64_t number = StepNumber(fields.ref(1));
    const Str& path = fields.ref(2);
    if (Marked(flags.skipped, number))
        return true;
    if (!InsideDirectory(path, owner.installDir))
        return UndoLinkPut(host, fields, flags, failure);
    OwnedFileHandle parent;
    Str name;
    DWORD code = 0;
    WalkStep step = OpenFolderOf(owner, path, parent, name, code);
    if (step == WalkStep::Missing)
        return true; // its folder is gone, and everything that was in it
    if (step == WalkStep::Link)
        return LeftBehindLink(host, path);
    if (step != WalkStep::Opened)
        return Failed(failure, path, code);
    bool undone = true;
    OwnedFileHandle kept;
    Str keptName = NameOf(fields.ref(3));
    LONG status = OpenEntryItself(parent.get(), keptName.text(), keptName.length(), DeleteAccess,
                                  FILE_NON_DIRECTORY_FILE, ShareAll, kept);
    code = status >= 0 ? RenameThroughHandle(kept.get(), parent.get(), name, true) : CodeOfStatus(status);
    if (code == 0) {
        Log(host, L"Przywrócono []", L"Restored []", path);
    } else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        if (Marked(flags.absent, number))
            undone = DeleteIn(host, parent.get(), name, path, failure);
    } else {
        Log(host, L"Nie można przywrócić []", L"Could not restore []", path);
        undone = Failed(failure, path, code);
    }
    if (!fields.ref(4).isEmpty())
        DeleteKept(parent.get(), NameOf(fields.ref(4)));
    return undone;
}

bool UndoCreate(InstallHost& host, const StrArray& fields, const JournalOwner& owner, const StepFlags& flags,
                UndoFailure& failure)
{
    const Str& path = fields.ref(2);
    if (Marked(flags.skipped, StepNumber(fields.ref(1))))
        return true;
    OwnedFileHandle parent;
    Str name;
    DWORD code = 0;
    WalkStep step = OpenFolderOf(owner, path, parent, name, code);
    if (step == WalkStep::Missing)
        return true;
    if (step == WalkStep::Link)
        return LeftBehindLink(host, path);
    if (step != WalkStep::Opened)
        return Failed(failure, path, code);
    return DeleteIn(host, parent.get(), name, path, failure);
}

// The "key" record at index, with the "value" records that follow it up to "key-saved"; a
// snapshot cut short by a kill was never followed by a change of the key. Only the program's own
// key under the root of its kind, and only the values an installation writes there.
bool UndoKey(InstallHost& host, const StrArray& lines, int64_t index, const JournalOwner& owner,
             UndoFailure& failure)
{
    StrArray fields = JournalFields(lines.ref(index));
    HKEY root = fields.length() == 4 ? RootNamed(fields.ref(1)) : nullptr;
    if (root != (owner.perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE) ||
        !StrEqualNoCase(fields.ref(3), UninstallKeyPath(owner.programName)))
        return true;
    StrArray values;
    values.makeEmpty();
    for (int64_t i = index + 1; i < lines.length(); i++) {
        if (lines.ref(i) == L"key-saved") {
            bool restored =
                RestoreRegistryKey(root, fields.ref(3), fields.ref(2) == L"1", values, IsUninstallValueName);
            Log(host,
                restored ? L"Przywrócono klucz rejestru []" : L"Nie można przywrócić klucza rejestru []",
                restored ? L"Restored the registry key []" : L"Could not restore the registry key []",
                fields.ref(3));
            return restored || Failed(failure, fields.ref(3), ERROR_CANTWRITE);
        }
        values.append(lines.ref(i));
    }
    return true;
}

// Removes a folder inside the directory when it is empty.
void RemoveEmptyFolder(InstallHost& host, const JournalOwner& owner, const Str& path)
{
    Str relative;
    OwnedFileHandle folder;
    if (RelativeInside(path, owner.installDir, relative) &&
        OpenBelow(owner.directory, relative, DeleteAccess | WalkAccess, FILE_DIRECTORY_FILE, folder) ==
            WalkStep::Opened &&
        DeleteThroughHandle(folder.get()) == 0)
        Log(host, L"Usunięto katalog []", L"Removed directory []", path);
}

// Deletes the journal and the backup folder; false when the folder stays.
bool RemoveBackupFolder(const JournalOwner& owner, UndoFailure& failure)
{
    OwnedFileHandle folder;
    DWORD code = 0;
    Str folderName(BackupFolderName);
    WalkStep step = OpenChild(owner.directory, folderName.text(), folderName.length(), DeleteAccess | WalkAccess,
                              FILE_DIRECTORY_FILE, folder, ShareAll, &code);
    if (step == WalkStep::Missing)
        return true;
    if (step != WalkStep::Opened)
        return Failed(failure, owner.backupDir, step == WalkStep::Link ? ERROR_ALREADY_EXISTS : code);
    DeleteKept(folder.get(), Str(JournalFileName));
    code = DeleteThroughHandle(folder.get());
    return code == 0 || Failed(failure, owner.backupDir, code);
}

} // namespace

bool JournalBelongsTo(const StrArray& lines, const JournalOwner& owner)
{
    if (lines.length() < 3 || lines.ref(0) != JournalMarker)
        return false;
    StrArray program = JournalFields(lines.ref(1));
    StrArray dir = JournalFields(lines.ref(2));
    return program.length() == 2 && program.ref(0) == L"program" &&
           StrEqualNoCase(program.ref(1), owner.programName) && dir.length() == 2 && dir.ref(0) == L"dir" &&
           StrEqualNoCase(AddTrailingSlash(dir.ref(1)), AddTrailingSlash(owner.installDir));
}

bool UndoJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure,
                 StrArray* madeForDirectory)
{
    StepFlags flags = ReadFlags(lines);
    bool complete = true;
    StrArray folders; // inside the directory, deepest first
    folders.makeEmpty();
    for (int64_t i = lines.length() - 1; i >= 0; i--) {
        HostKeepAnswering(host);
        StrArray fields = JournalFields(lines.ref(i));
        const Str& kind = fields.ref(0);
        if (kind == L"put" && PutIsOwned(fields, owner))
            complete = UndoPut(host, fields, owner, flags, failure) && complete;
        else if (kind == L"create" && CreateIsOwned(fields, owner))
            complete = UndoCreate(host, fields, owner, flags, failure) && complete;
        else if (kind == L"key")
            complete = UndoKey(host, lines, i, owner, failure) && complete;
        else if (kind == L"mkdir" && fields.length() == 2 && InsideDirectory(fields.ref(1), owner.installDir))
            folders.append(fields.ref(1));
    }
    if (complete)
        complete = RemoveBackupFolder(owner, failure);
    for (int64_t i = 0; i < folders.length(); i++)
        RemoveEmptyFolder(host, owner, folders.ref(i));
    for (int64_t i = 0; madeForDirectory && i < lines.length(); i++) {
        StrArray fields = JournalFields(lines.ref(i));
        if (fields.ref(0) == L"mkdir" && fields.length() == 2 && HoldsDirectory(fields.ref(1), owner))
            madeForDirectory->append(fields.ref(1));
    }
    return complete;
}

bool FinishJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure)
{
    StepFlags flags = ReadFlags(lines);
    bool complete = true;
    for (int64_t i = 0; i < lines.length(); i++) {
        HostKeepAnswering(host);
        StrArray fields = JournalFields(lines.ref(i));
        if (fields.ref(0) != L"put" || !PutIsOwned(fields, owner) ||
            Marked(flags.skipped, StepNumber(fields.ref(1))))
            continue;
        const Str& path = fields.ref(2);
        OwnedFileHandle parent;
        Str name;
        DWORD code = 0;
        bool inside = InsideDirectory(path, owner.installDir);
        WalkStep step = inside ? OpenFolderOf(owner, path, parent, name, code) : WalkStep::Opened;
        if (step == WalkStep::Missing)
            continue;
        if (step == WalkStep::Link) {
            LeftBehindLink(host, path);
            continue;
        }
        if (step != WalkStep::Opened) {
            complete = Failed(failure, path, code);
            continue;
        }
        for (int64_t field = 3; field <= 4; field++) {
            const Str& kept = fields.ref(field);
            if (kept.isEmpty())
                continue;
            if (inside) {
                code = DeleteKept(parent.get(), NameOf(kept));
            } else if (Exists(kept)) {
                SetFileAttributesW(kept.text(), FILE_ATTRIBUTE_NORMAL); // a read-only link kept aside
                code = DeleteFileW(kept.text()) ? 0 : GetLastError();
            }
            if (code)
                complete = Failed(failure, kept, code);
        }
    }
    complete = complete && RemoveBackupFolder(owner, failure);
    if (complete)
        Log(host, L"Usunięto odłożone poprzednie pliki i dziennik instalacji w []",
            L"Deleted the kept previous files and the journal of the installation in []", owner.installDir);
    else
        Log(host, L"Nie można usunąć wszystkich odłożonych poprzednich plików w []",
            L"Could not delete every kept previous file in []", owner.installDir);
    return complete;
}

void RecoverInterruptedInstall(InstallHost& host, PreparedDirectory& directory, const Str& programName,
                               bool perUser)
{
    JournalOwner owner;
    owner.installDir = directory.path;
    owner.programName = programName;
    owner.backupDir = Concat(AddTrailingSlash(directory.path), Str(BackupFolderName));
    owner.perUser = perUser;
    owner.directory = directory.handle.get();
    Str journalPath = Concat(AddTrailingSlash(owner.backupDir), Str(JournalFileName));

    // Leftovers are acted on only when they are what this program's installations leave: a plain
    // folder, and with administrator rights one that only administrators could have written.
    OwnedFileHandle folder, journal;
    DWORD code = 0;
    Str folderName(BackupFolderName), journalName(JournalFileName);
    WalkStep step = OpenChild(owner.directory, folderName.text(), folderName.length(), WalkAccess | READ_CONTROL,
                              FILE_DIRECTORY_FILE, folder, ShareAll, &code);
    if (step == WalkStep::Missing)
        return;
    if (step == WalkStep::Opened && isAdmin &&
        !HostOnlyAdministratorsCanChange(host, folder.get(), owner.backupDir, ChangeScope::Whole))
        step = WalkStep::Link;
    if (step == WalkStep::Opened)
        step = OpenChild(folder.get(), journalName.text(), journalName.length(), GENERIC_READ | READ_CONTROL,
                         FILE_NON_DIRECTORY_FILE, journal, FILE_SHARE_READ, &code);
    if (step == WalkStep::Opened && isAdmin &&
        !HostOnlyAdministratorsCanChange(host, journal.get(), journalPath, ChangeScope::Whole))
        step = WalkStep::Link;
    if (step == WalkStep::Link || (step == WalkStep::Failed && code == ERROR_DIRECTORY))
        throw WinError(ERROR_ALREADY_EXISTS, owner.backupDir.text());
    if (step == WalkStep::Failed)
        ThrowWinError(code, journalPath.text());
    StrArray lines;
    if (step == WalkStep::Opened)
        lines = JournalLines(ReadJournalText(journal.get(), journalPath, LargestJournal));
    else
        lines.makeEmpty();
    journal.reset();
    folder.reset();

    if (lines.length() == 0 || (lines.length() < 3 && lines.ref(0) == JournalMarker)) {
        // Killed before its journal was complete: nothing was changed yet.
        UndoFailure failure;
        if (!RemoveBackupFolder(owner, failure))
            throw WinError(ERROR_ALREADY_EXISTS, owner.backupDir.text());
        return;
    }
    if (!JournalBelongsTo(lines, owner))
        throw WinError(ERROR_ALREADY_EXISTS, owner.backupDir.text());
    if (!StepNumbersFit(lines))
        throw Error(ErrCorrupted, journalPath.text());
    HostStatus(host, Str(Tr(L"Cofanie przerwanej instalacji...", L"Undoing an interrupted installation...")),
               Str());
    Log(host, L"Znaleziono pozostałości przerwanej instalacji w []",
        L"Found the leftovers of an interrupted installation in []", owner.backupDir);
    bool committed = false;
    for (int64_t i = 0; i < lines.length() && !committed; i++)
        committed = lines.ref(i) == L"commit";
    for (int attempt = 1;; attempt++) {
        UndoFailure failure;
        StrArray made;
        made.makeEmpty();
        bool complete = committed ? FinishJournal(host, lines, owner, failure)
                                  : UndoJournal(host, lines, owner, failure, &made);
        if (complete) {
            // The folders that the interrupted run made for the directory are this run's now.
            for (int64_t i = 0; i < made.length(); i++)
                directory.created.append(made.ref(i));
            return;
        }
        if (!RetryAfter(host, WinError(failure.code, failure.path.text()), failure.path, attempt))
            ThrowWinError(failure.code, failure.path.text());
    }
}
