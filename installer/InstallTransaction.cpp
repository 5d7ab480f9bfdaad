#include "installer/InstallTransaction.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "core/StrFormat.h"
#include "installer/InstallHost.h"
#include "installer/RegistrySnapshot.h"
#include "installer/Rollback.h"

const wchar_t* const BackupFolderName = L"lumivo-rollback$$";
const wchar_t* const JournalFileName = L"journal";

static void Log(InstallTransaction& transaction, const wchar_t* polish, const wchar_t* english, const Str& a,
                const Str& b = Str())
{
    if (transaction.host->writeLog)
        HostLog(*transaction.host, StrFormat(Tr(polish, english), a, b));
}

static JournalOwner OwnerOf(const InstallTransaction& transaction)
{
    JournalOwner owner;
    owner.installDir = transaction.installDir;
    owner.programName = transaction.programName;
    owner.backupDir = transaction.backupDir;
    return owner;
}

void BeginTransaction(InstallTransaction& transaction, InstallHost& host, const Str& installDir,
                      const Str& programName, const StrArray& createdDirectories)
{
    transaction.host = &host;
    transaction.installDir = installDir;
    transaction.programName = programName;
    transaction.backupDir = Concat(AddTrailingSlash(installDir), Str(BackupFolderName));
    Str records = Concat(JournalRecord(L"program", {programName}), JournalRecord(L"dir", {installDir}));
    for (int64_t i = 0; i < createdDirectories.length(); i++)
        records.append(JournalRecord(L"mkdir", {createdDirectories.ref(i)}));
    bool folderMade = false;
    try {
        if (!CreateDirectoryW(transaction.backupDir.text(), nullptr))
            ThrowLastError(transaction.backupDir.text(), L"CreateDirectoryW");
        folderMade = true;
        SetFileAttributesW(transaction.backupDir.text(), FILE_ATTRIBUTE_HIDDEN);
        CreateJournal(transaction.journal,
                      Concat(AddTrailingSlash(transaction.backupDir), Str(JournalFileName)), records);
    } catch (...) {
        // Nothing was changed yet but the folders: they go again.
        transaction.journal.file.reset();
        if (folderMade) {
            DeleteFileW(transaction.journal.path.text());
            RemoveDirectoryW(transaction.backupDir.text());
        }
        for (int64_t i = createdDirectories.length() - 1; i >= 0; i--)
            RemoveDirectoryW(createdDirectories.ref(i).text());
        throw;
    }
    transaction.begun = true;
}

static void WriteDown(InstallTransaction& transaction, PutStep& step, const Str& path, const Str& aside,
                      const Str& temporary)
{
    step.number = AppendStep(transaction.journal, L"put", {path, aside, temporary});
    step.path = path;
    step.aside = aside;
    step.settled = false;
    step.absentBefore = false;
}

// Writes down that a step did not happen: nothing of it is undone or deleted.
static void Skip(InstallTransaction& transaction, PutStep& step)
{
    AppendJournal(transaction.journal, JournalRecord(L"skip", {IntToStr(step.number)}));
    step.settled = false;
}

// Writes down that a step was undone at once: nothing of it is left at its path, and whatever comes
// to stand there is not this run's.
static void SkipNumber(InstallTransaction& transaction, int64_t number)
{
    try {
        AppendJournal(transaction.journal, JournalRecord(L"skip", {IntToStr(number)}));
    } catch (const Error&) {
        // a full disk: the record names a file that is gone, and the undo finds nothing there
    }
}

static bool Absent(const Str& path)
{
    if (GetFileAttributesW(path.text()) != INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool CreateNewFile(InstallTransaction& transaction, const Str& path, const ByteSource& bytes, const uint64_t* time,
                   const WriteProgress* progress, uint32_t flags)
{
    // Looked at before it is written down, so that the journal never claims a file that stood
    // there: only one that another program puts there between the look and the creation could be.
    // Nothing stood in a directory that this run made, and the look costs a directory scan.
    if (!(flags & InNewDirectory) && !Absent(path))
        return false;
    int64_t number = AppendStep(transaction.journal, L"create", {path});
    OwnedFileHandle file;
    try {
        CreateInPlace(file, path, bytes, time, progress);
    } catch (const Error& error) {
        SkipNumber(transaction, number);
        if (error.code == ERROR_FILE_EXISTS || error.code == ERROR_ALREADY_EXISTS)
            return false; // it appeared meanwhile: kept aside and replaced instead
        throw;
    }
    if ((flags & FlushToDisk) && !FlushFileBuffers(file.get())) {
        DWORD code = GetLastError();
        DeleteOpenFile(file, path);
        SkipNumber(transaction, number);
        ThrowWinError(code, path.text(), L"FlushFileBuffers");
    }
    file.reset();
    return true;
}

void StageFile(InstallTransaction& transaction, PutStep& step, const Str& path, const ByteSource& bytes,
               const uint64_t* time, const WriteProgress* progress)
{
    DiscardTemporary(step.staged);
    Str temporary = TemporaryNameFor(path);
    WriteDown(transaction, step, path, TemporaryNameFor(path), temporary);
    step.staged.path = temporary;
    try {
        WriteTemporary(step.staged, bytes, time, progress);
    } catch (const Error& error) {
        if (error.code == ERROR_FILE_EXISTS || error.code == ERROR_ALREADY_EXISTS)
            Skip(transaction, step); // whatever stands under that name is not this run's
        throw;
    }
}

void StageFile(InstallTransaction& transaction, PutStep& step, const Str& path, const uint8_t* bytes,
               int64_t count, const uint64_t* time)
{
    MemorySource memory = {bytes, count, false};
    StageFile(transaction, step, path, SourceOf(memory), time);
}

// Keeps the file at step.path aside through a handle that no one else shares, so that a file
// another program holds open (a running program's own files) is reported in use and stays.
static void SettlePrevious(InstallTransaction& transaction, PutStep& step)
{
    if (step.settled)
        return;
    OwnedFileHandle previous(CreateFileW(step.path.text(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD code = previous ? 0 : GetLastError();
    if (!previous) {
        if (code != ERROR_FILE_NOT_FOUND)
            ThrowWinError(code, step.path.text(), L"CreateFileW");
        AppendJournal(transaction.journal, JournalRecord(L"new", {IntToStr(step.number)}));
        step.absentBefore = true;
    } else {
        if (!RenameOpenFile(previous.get(), step.aside, false))
            ThrowLastError(step.path.text(), L"SetFileInformationByHandle");
        Log(transaction, L"Poprzedni plik [] odłożony jako []", L"Kept the previous [] as []", step.path,
            step.aside);
    }
    step.settled = true;
}

void CommitFile(InstallTransaction& transaction, PutStep& step)
{
    SettlePrevious(transaction, step);
    try {
        RenameTemporary(step.staged, step.path, false);
    } catch (const Error& error) {
        if (step.absentBefore && (error.code == ERROR_ALREADY_EXISTS || error.code == ERROR_FILE_EXISTS)) {
            // Something else put a file there meanwhile: it is not this run's to delete.
            DiscardTemporary(step.staged);
            Skip(transaction, step);
        }
        throw;
    }
}

void ClearPath(InstallTransaction& transaction, PutStep& step, const Str& path)
{
    WriteDown(transaction, step, path, TemporaryNameFor(path), Str());
    SettlePrevious(transaction, step);
}

void UndoStep(InstallTransaction& transaction, PutStep& step)
{
    DiscardTemporary(step.staged);
    if (!step.settled)
        return;
    if (step.absentBefore) {
        DeleteFileW(step.path.text());
    } else if (MoveFileExW(step.aside.text(), step.path.text(), MOVEFILE_REPLACE_EXISTING)) {
        Log(transaction, L"Przywrócono []", L"Restored []", step.path);
    }
    step.settled = false;
}

bool MakeDirectory(InstallTransaction& transaction, const Str& path)
{
    if (GetFileAttributesW(path.text()) != INVALID_FILE_ATTRIBUTES)
        return false;
    AppendJournal(transaction.journal, JournalRecord(L"mkdir", {path}));
    if (!CreateDirectoryW(path.text(), nullptr))
        return false;
    Log(transaction, L"Utworzono katalog []", L"Created directory []", path);
    return true;
}

void SaveKey(InstallTransaction& transaction, HKEY root, const Str& keyPath)
{
    AppendJournal(transaction.journal, SaveRegistryKey(root, keyPath));
    Log(transaction, L"Zapamiętano wartości klucza []\\[]", L"Saved the values of []\\[]",
        Str(RootName(root)), keyPath);
}

static StrArray LinesOf(InstallTransaction& transaction)
{
    CharBuffer& records = transaction.journal.records;
    return JournalLines(Concat(Str(JournalMarker), Str(L"\n"), Str(records.text(), records.length())));
}

void CommitTransaction(InstallTransaction& transaction)
{
    AppendJournal(transaction.journal, JournalRecord(L"commit"));
    FlushJournal(transaction.journal);
    transaction.journal.file.reset();
    UndoFailure failure; // what is left is finished by the next run
    FinishJournal(*transaction.host, LinesOf(transaction), OwnerOf(transaction), failure);
}

bool RollBackTransaction(InstallTransaction& transaction)
{
    if (!transaction.begun)
        return true;
    transaction.journal.file.reset();
    UndoFailure failure; // what is left is undone by the next run
    return UndoJournal(*transaction.host, LinesOf(transaction), OwnerOf(transaction), failure);
}
