#include "installer/InstallFile.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "archive/EntryPipeline.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/StrFormat.h"
#include "installer/InstallHost.h"
#include "installer/InstallTransaction.h"

#include <windows.h>

// The question for a failed write, or -1 when the failure is not one to retry.
static int AskRetry(InstallHost& host, const Error& error, const Str& destination)
{
    const wchar_t* buttons = Tr(L"+Ponów|-Anuluj", L"+Retry|-Cancel");
    if (error.code == ERROR_DISK_FULL)
        return HostAlert(
            host,
            Tr(L"Brak miejsca na dysku docelowym.\n\nMożesz spróbować skasować niepotrzebne pliki i nacisnąć "
                   L"Ponów w celu ponowienia lub przerwać istalację naciskając Anuluj.",
                   L"There is no space on the destination disk.\n\nYou can try to delete some unused files and "
                   L"press the Retry button or cancel installation by pressing the Cancel button."),
            buttons, 2);
    if (error.code == ERROR_ACCESS_DENIED || error.code == ERROR_SHARING_VIOLATION) {
        const wchar_t* pieces[] = {
            Tr(L"Plik \"", L"The file \""), destination.text(),
            Tr(L"\"\njest aktualnie używany, albo nie masz praw do zapisu w katalogu.\n\nProszę zamknąć wszystkie "
               L"programy i nacisnąć Ponów w celu ponowienia lub przerwać istalację naciskając Anuluj.",
               L"\"\nis currently in use, or you do not have write access to the directory.\n\nPlease close all "
               L"programs and press the Retry button  or cancel installation by pressing the Cancel button."),
            nullptr};
        return HostAlertPieces(host, pieces, buttons, 2);
    }
    return -1;
}

// A silent run has no one to free the file or the disk: a few tries a second apart, then failure.
enum { SilentAttempts = 5, SilentWaitMs = 1000 };

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

void InstallBytes(InstallHost& host, InstallTransaction& transaction, const ByteArray& bytes,
                  const uint64_t* time, const Str& destination, const CopyProgress* progress)
{
    PieceProgress piece = {&host, progress ? *progress : CopyProgress{0, 0}};
    WriteProgress pieces = {ReportPiece, &piece};
    const WriteProgress* report = progress ? &pieces : nullptr;
    PutStep step;
    try {
        for (int attempt = 1;; attempt++) {
            try {
                // After a failed move the staged file is complete: only the move is tried again.
                bool created = !step.staged.handle &&
                               CreateNewFile(transaction, destination, bytes.items(), bytes.length(), time, report);
                if (!created) {
                    if (!step.staged.handle)
                        StageFile(transaction, step, destination, bytes.items(), bytes.length(), time, report);
                    CommitFile(transaction, step);
                }
                if (host.writeLog)
                    HostLog(host, StrFormat(Tr(L"Zapisano [] ([] B)", L"Wrote [] ([] bytes)"), destination,
                                            bytes.length()));
                return;
            } catch (const Error& error) {
                int answer = AskRetry(host, error, destination);
                if (answer < 0)
                    throw;
                if (answer != 0 || (host.silent && attempt >= SilentAttempts))
                    throw Abort();
                if (host.silent)
                    Sleep(SilentWaitMs);
            }
        }
    } catch (...) {
        DiscardTemporary(step.staged);
        throw;
    }
}

enum : uint32_t { WaitSliceMs = 50 };

int64_t InstallFile(InstallHost& host, InstallTransaction& transaction, EntryPipeline& entries,
                    const Str& destination, const CopyProgress& progress)
{
    while (!entries.waitReady(WaitSliceMs))
        HostWaiting(host);
    ByteArray bytes = entries.next();
    uint64_t time = LastEntryTime; // kept for every retry
    InstallBytes(host, transaction, bytes, &time, destination, &progress);
    return bytes.length();
}
