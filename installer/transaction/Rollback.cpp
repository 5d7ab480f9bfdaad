#include "installer/transaction/Rollback.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "core/StrFormat.h"
#include "installer/InstallHost.h"
#include "installer/ListItem.h"
#include "installer/Shortcut.h"
#include "installer/UninstallRegistration.h"
#include "installer/transaction/InstallJournal.h"
#include "installer/transaction/InstallTransaction.h"
#include "installer/transaction/RegistrySnapshot.h"

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

bool InsideDirectory(const Str& path, const Str& directory)
{
    Str prefix = AddTrailingSlash(directory);
    if (!StartsWithNoCase(path, prefix))
        return false;
    // A directory given with a trailing backslash doubles it in the paths made from it.
    int64_t start = prefix.length();
    while (start < path.length() && path.at(start) == L'\\')
        start++;
    // Directories are recorded with their final backslash.
    return IsContainedRelativePath(Str(path.text() + start, path.length() - start), NameMayEndInSeparator);
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

bool IsProgramLink(const Str& path, const Str& programName)
{
    for (bool perUser : {true, false}) {
        for (int csidl : {StartMenuFolder(perUser), DesktopFolder(perUser)}) {
            try {
                if (StrEqualNoCase(path, ShortcutPath(nullptr, csidl, programName)))
                    return true;
            } catch (const Error&) {
                // a folder that does not exist holds no link
            }
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
    return InsideDirectory(path, owner.installDir) || IsProgramLink(path, owner.programName);
}

// A "create" record: a file that the run made in place, where nothing stood, inside the directory.
bool CreateIsOwned(const StrArray& fields, const JournalOwner& owner)
{
    return fields.length() == 3 && StepNumber(fields.ref(1)) >= 0 && InsideDirectory(fields.ref(2), owner.installDir);
}

bool DirectoryIsOwned(const Str& path, const JournalOwner& owner)
{
    return StrEqualNoCase(AddTrailingSlash(path), AddTrailingSlash(owner.installDir)) ||
           InsideDirectory(path, owner.installDir) || InsideDirectory(owner.installDir, path);
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

// Writes down the first thing that could not be undone: the code of the call that just failed.
bool Failed(UndoFailure& failure, const Str& path, uint32_t code = GetLastError())
{
    if (failure.code == 0) {
        failure.code = code ? code : ERROR_GEN_FAILURE;
        failure.path = path;
    }
    return false;
}

bool UndoPut(InstallHost& host, const StrArray& fields, const StepFlags& flags, UndoFailure& failure)
{
    int64_t number = StepNumber(fields.ref(1));
    const Str& path = fields.ref(2);
    const Str& aside = fields.ref(3);
    const Str& temporary = fields.ref(4);
    if (Marked(flags.skipped, number))
        return true;
    bool undone = true;
    if (Exists(aside)) {
        if (MoveFileExW(aside.text(), path.text(), MOVEFILE_REPLACE_EXISTING)) {
            Log(host, L"Przywrócono []", L"Restored []", path);
        } else {
            undone = Failed(failure, path);
            Log(host, L"Nie można przywrócić []", L"Could not restore []", path);
        }
    } else if (Marked(flags.absent, number) && Exists(path)) {
        if (DeleteFileW(path.text())) {
            Log(host, L"Usunięto []", L"Deleted []", path);
        } else {
            undone = Failed(failure, path);
            Log(host, L"Nie można usunąć []", L"Could not delete []", path);
        }
    }
    if (!temporary.isEmpty() && Exists(temporary))
        DeleteFileW(temporary.text());
    return undone;
}

bool UndoCreate(InstallHost& host, const StrArray& fields, const StepFlags& flags, UndoFailure& failure)
{
    const Str& path = fields.ref(2);
    if (Marked(flags.skipped, StepNumber(fields.ref(1))) || !Exists(path))
        return true;
    if (DeleteFileW(path.text())) {
        Log(host, L"Usunięto []", L"Deleted []", path);
        return true;
    }
    Log(host, L"Nie można usunąć []", L"Could not delete []", path);
    return Failed(failure, path);
}

// The "key" record at index, with the "value" records that follow it up to "key-saved"; a
// snapshot cut short by a kill was never followed by a change of the key.
bool UndoKey(InstallHost& host, const StrArray& lines, int64_t index, const JournalOwner& owner,
             UndoFailure& failure)
{
    StrArray fields = JournalFields(lines.ref(index));
    HKEY root = fields.length() == 4 ? RootNamed(fields.ref(1)) : nullptr;
    if (!root || !StrEqualNoCase(fields.ref(3), UninstallKeyPath(owner.programName)))
        return true;
    StrArray values;
    values.makeEmpty();
    for (int64_t i = index + 1; i < lines.length(); i++) {
        if (lines.ref(i) == L"key-saved") {
            bool restored = RestoreRegistryKey(root, fields.ref(3), fields.ref(2) == L"1", values);
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

// Deletes the journal and the backup folder; false when the folder stays.
bool RemoveBackupFolder(const JournalOwner& owner, UndoFailure& failure)
{
    DeleteFileW(Concat(AddTrailingSlash(owner.backupDir), Str(JournalFileName)).text());
    return RemoveDirectoryW(owner.backupDir.text()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
           Failed(failure, owner.backupDir);
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

bool UndoJournal(InstallHost& host, const StrArray& lines, const JournalOwner& owner, UndoFailure& failure)
{
    StepFlags flags = ReadFlags(lines);
    bool complete = true;
    StrArray directories;
    directories.makeEmpty();
    for (int64_t i = lines.length() - 1; i >= 0; i--) {
        HostKeepAnswering(host);
        StrArray fields = JournalFields(lines.ref(i));
        const Str& kind = fields.ref(0);
        if (kind == L"put" && PutIsOwned(fields, owner))
            complete = UndoPut(host, fields, flags, failure) && complete;
        else if (kind == L"create" && CreateIsOwned(fields, owner))
            complete = UndoCreate(host, fields, flags, failure) && complete;
        else if (kind == L"key")
            complete = UndoKey(host, lines, i, owner, failure) && complete;
        else if (kind == L"mkdir" && fields.length() == 2 && DirectoryIsOwned(fields.ref(1), owner))
            directories.append(fields.ref(1));
    }
    if (complete)
        complete = RemoveBackupFolder(owner, failure);
    // Recorded shallowest first, so this goes deepest first; a directory that holds anything stays.
    for (int64_t i = 0; i < directories.length(); i++)
        if (RemoveDirectoryW(directories.ref(i).text()))
            Log(host, L"Usunięto katalog []", L"Removed directory []", directories.ref(i));
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
        for (int64_t field = 3; field <= 4; field++) {
            const Str& kept = fields.ref(field);
            if (kept.isEmpty() || !Exists(kept))
                continue;
            SetFileAttributesW(kept.text(), FILE_ATTRIBUTE_NORMAL); // a read-only file kept aside
            complete = (DeleteFileW(kept.text()) || Failed(failure, kept)) && complete;
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

void RecoverInterruptedInstall(InstallHost& host, const Str& installDir, const Str& programName)
{
    JournalOwner owner;
    owner.installDir = installDir;
    owner.programName = programName;
    owner.backupDir = Concat(AddTrailingSlash(installDir), Str(BackupFolderName));
    DWORD attributes = GetFileAttributesW(owner.backupDir.text());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        throw WinError(ERROR_ALREADY_EXISTS, owner.backupDir.text());
    Str journalPath = Concat(AddTrailingSlash(owner.backupDir), Str(JournalFileName));
    StrArray lines;
    if (Exists(journalPath))
        lines = JournalLines(ReadJournalText(journalPath));
    else
        lines.makeEmpty();
    if (lines.length() == 0 || (lines.length() < 3 && lines.ref(0) == JournalMarker)) {
        // Killed before its journal was complete: nothing was changed yet.
        UndoFailure failure;
        if (!RemoveBackupFolder(owner, failure))
            throw WinError(ERROR_ALREADY_EXISTS, owner.backupDir.text());
        return;
    }
    if (!JournalBelongsTo(lines, owner))
        throw WinError(ERROR_ALREADY_EXISTS, owner.backupDir.text());
    HostStatus(host, Str(Tr(L"Cofanie przerwanej instalacji...", L"Undoing an interrupted installation...")),
               Str());
    Log(host, L"Znaleziono pozostałości przerwanej instalacji w []",
        L"Found the leftovers of an interrupted installation in []", owner.backupDir);
    bool committed = false;
    for (int64_t i = 0; i < lines.length() && !committed; i++)
        committed = lines.ref(i) == L"commit";
    UndoFailure failure;
    bool complete =
        committed ? FinishJournal(host, lines, owner, failure) : UndoJournal(host, lines, owner, failure);
    if (!complete)
        ThrowWinError(failure.code, failure.path.text());
}
