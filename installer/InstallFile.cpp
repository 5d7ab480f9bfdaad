#include "installer/InstallFile.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "archive/EntryPipeline.h"
#include "core/AppContext.h"
#include "core/NoCaseSet.h"
#include "core/Error.h"
#include "core/StrFormat.h"
#include "installer/InstallHost.h"
#include "installer/transaction/InstallTransaction.h"
#include "installer/ProgramsInUse.h"

#include <windows.h>

// The question for a failed write, or -1 when the failure is not one to retry (the caller's log
// names that one). The log names the failure before the question.
static int AskRetry(InstallHost& host, const Error& error, const Str& destination)
{
    const wchar_t* buttons = Tr(L"+Ponów|-Anuluj", L"+Retry|-Cancel");
    bool retryable = error.code == ERROR_DISK_FULL || error.code == ERROR_ACCESS_DENIED ||
                     error.code == ERROR_SHARING_VIOLATION;
    if (retryable)
        HostLogFailure(host, error);
    if (error.code == ERROR_DISK_FULL)
        return HostAlert(
            host,
            Tr(L"Brak miejsca na dysku docelowym.\n\nMożesz spróbować skasować niepotrzebne pliki i nacisnąć "
                   L"Ponów w celu ponowienia lub przerwać istalację naciskając Anuluj.",
                   L"There is no space on the destination disk.\n\nYou can try to delete some unused files and "
                   L"press the Retry button or cancel installation by pressing the Cancel button."),
            buttons, 2);
    if (error.code == ERROR_ACCESS_DENIED || error.code == ERROR_SHARING_VIOLATION) {
        Str stillRunning = StillRunningLine(host);
        const wchar_t* pieces[] = {
            Tr(L"Plik \"", L"The file \""), destination.text(),
            Tr(L"\"\njest aktualnie używany, albo nie masz praw do zapisu w katalogu.\n\nProszę zamknąć wszystkie "
               L"programy i nacisnąć Ponów w celu ponowienia lub przerwać istalację naciskając Anuluj.",
               L"\"\nis currently in use, or you do not have write access to the directory.\n\nPlease close all "
               L"programs and press the Retry button  or cancel installation by pressing the Cancel button."),
            stillRunning.text(), nullptr};
        return HostAlertPieces(host, pieces, buttons, 2);
    }
    return -1;
}

// A silent run has no one to free the file or the disk: a few tries a second apart, then failure.
enum { SilentAttempts = 5, SilentWaitMs = 1000 };

bool RetryAfter(InstallHost& host, const Error& error, const Str& path, int attempt)
{
    int answer = AskRetry(host, error, path);
    if (answer < 0)
        return false;
    bool unattended = host.silent || !host.form; // no one to answer: the first button is taken
    if (answer == 0 && unattended && attempt >= SilentAttempts && host.writeLog)
        HostLog(host, StrFormat(Tr(L"Zaniechano po [] próbach", L"Given up after [] attempts"), attempt));
    if (answer != 0 || (unattended && attempt >= SilentAttempts))
        throw Abort();
    if (unattended)
        Sleep(SilentWaitMs);
    return true;
}

namespace {

struct PieceProgress {
    InstallHost* host;
    CopyProgress copy;
};

void ReportPiece(void* context, int64_t written)
{
    PieceProgress& piece = *static_cast<PieceProgress*>(context);
    HostProgress(*piece.host, piece.copy.done + written, piece.copy.total);
}

} // namespace

void InstallBytes(InstallHost& host, InstallTransaction& transaction, const ByteSource& bytes, int64_t size,
                  const uint64_t* time, const Str& destination, const CopyProgress* progress, uint32_t flags)
{
    PieceProgress piece = {&host, progress ? *progress : CopyProgress{0, 0}};
    WriteProgress pieces = {ReportPiece, &piece};
    const WriteProgress* report = progress ? &pieces : nullptr;
    PutStep step;
    try {
        for (int attempt = 1;; attempt++) {
            try {
                // After a failed move the staged file is complete: only the move is tried again.
                if (attempt > 1 && !step.staged.handle)
                    bytes.rewind(bytes.context);
                bool created =
                    !step.staged.handle && CreateNewFile(transaction, destination, bytes, time, report, flags);
                if (!created) {
                    if (!step.staged.handle)
                        StageFile(transaction, step, destination, bytes, time, report);
                    CommitFile(transaction, step);
                }
                if (host.writeLog)
                    HostLog(host, StrFormat(Tr(L"Zapisano [] ([] B)", L"Wrote [] ([] bytes)"), destination, size));
                return;
            } catch (const Error& error) {
                if (!RetryAfter(host, error, destination, attempt))
                    throw;
            }
        }
    } catch (...) {
        DiscardTemporary(step.staged);
        throw;
    }
}

enum : uint32_t { WaitSliceMs = 50 };

namespace {

// The pipeline's pieces of the entry taken last, the window answering while a worker unpacks them.
struct PipelinePieces {
    InstallHost* host;
    EntryPipeline* entries;
    ByteSource pieces;
};

bool NextPiece(void* context, const uint8_t** bytes, int64_t* count)
{
    PipelinePieces& source = *static_cast<PipelinePieces*>(context);
    while (!source.entries->pieceReady(WaitSliceMs))
        HostWaiting(*source.host);
    return source.pieces.next(source.pieces.context, bytes, count);
}

void RewindPieces(void* context)
{
    PipelinePieces& source = *static_cast<PipelinePieces*>(context);
    source.pieces.rewind(source.pieces.context);
}

} // namespace

int64_t InstallFile(InstallHost& host, InstallTransaction& transaction, EntryPipeline& entries,
                    const Str& destination, const CopyProgress& progress)
{
    while (!entries.waitReady(WaitSliceMs))
        HostWaiting(host);
    TakenEntry entry = entries.take();
    if (entry.handled) {
        if (host.writeLog)
            HostLog(host, StrFormat(Tr(L"Zapisano [] ([] B)", L"Wrote [] ([] bytes)"), destination, entry.size));
        return entry.size;
    }
    PipelinePieces pieces = {&host, &entries, entries.source()};
    InstallBytes(host, transaction, ByteSource{NextPiece, RewindPieces, &pieces}, entry.size, &entry.time,
                 destination, &progress);
    return entry.size;
}

void StopEntries(InstallHost& host, EntryPipeline& entries)
{
    while (!entries.stopWithin(WaitSliceMs))
        HostWaiting(host);
}

static bool WriteEntryAhead(void* context, int64_t index, int64_t size, uint64_t time, const ByteSource& bytes,
                            bool beyondWindow)
{
    WriteAhead& ahead = *static_cast<WriteAhead*>(context);
    // A large file is written by the loop, which reports its progress piece by piece; but not one
    // of a later block that a worker decodes beside the loop's, which would otherwise stop there.
    if (ahead.stopped || (size > WritePieceSize && !beyondWindow))
        return false;
    const Str& shared = ahead.destinations->ref(index);
    if (shared.isEmpty())
        return false;
    Str path(shared.text(), shared.length()); // this thread's own copy
    try {
        bool inNewDirectory = index < ahead.inNewDirectory.length() && ahead.inNewDirectory.at(index);
        uint32_t flags = inNewDirectory ? static_cast<uint32_t>(InNewDirectory) : 0;
        return CreateNewFile(*ahead.transaction, path, bytes, &time, nullptr, flags);
    } catch (...) {
        InterlockedExchange(&ahead.stopped, 1);
        return false;
    }
}

void ClearRepeatedPaths(StrArray& paths)
{
    NoCaseSet seen = MakeNoCaseSet(paths.length());
    Array<int64_t, true, 4> firstAt; // by position in seen: where that path first stands in paths
    firstAt.makeEmpty();
    ByteArray repeated;
    repeated.makeEmpty();
    repeated.resize(paths.length());
    for (int64_t i = 0; i < paths.length(); i++) {
        int64_t first = AddNoCase(seen, paths.ref(i));
        if (first < 0)
            firstAt.append(i);
        else
            repeated.ref(firstAt.at(first)) = repeated.ref(i) = 1;
    }
    for (int64_t i = 0; i < paths.length(); i++)
        if (repeated.at(i))
            paths.ref(i) = Str();
}

void MarkNewDirectories(WriteAhead& ahead, const StrArray& newDirectories)
{
    // Without a final backslash, as a destination's directory is compared.
    NoCaseSet directories = MakeNoCaseSet(newDirectories.length());
    for (int64_t i = 0; i < newDirectories.length(); i++) {
        const Str& directory = newDirectories.ref(i);
        int64_t length = directory.length();
        while (length > 0 && directory.text()[length - 1] == L'\\')
            length--;
        AddNoCase(directories, Str(directory.text(), length));
    }
    const StrArray& paths = *ahead.destinations;
    ahead.inNewDirectory.makeEmpty();
    ahead.inNewDirectory.resize(paths.length());
    for (int64_t i = 0; i < paths.length(); i++) {
        const wchar_t* units = paths.ref(i).text();
        const wchar_t* slash = wcsrchr(units, L'\\');
        if (slash && FindNoCase(directories, units, slash - units) >= 0)
            ahead.inNewDirectory.ref(i) = 1;
    }
}

EntryHandler WriteAheadHandler(WriteAhead& ahead)
{
    return EntryHandler{WriteEntryAhead, &ahead};
}
