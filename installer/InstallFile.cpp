#include "installer/InstallFile.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "archive/EntryPipeline.h"
#include "core/AppContext.h"
#include "core/CharCase.h"
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
    int64_t handledSize;
    ByteArray bytes = entries.next(&handledSize);
    if (handledSize >= 0) {
        if (host.writeLog)
            HostLog(host, StrFormat(Tr(L"Zapisano [] ([] B)", L"Wrote [] ([] bytes)"), destination, handledSize));
        return handledSize;
    }
    uint64_t time = LastEntryTime; // kept for every retry
    InstallBytes(host, transaction, bytes, &time, destination, &progress);
    return bytes.length();
}

void StopEntries(InstallHost& host, EntryPipeline& entries)
{
    while (!entries.stopWithin(WaitSliceMs))
        HostWaiting(host);
}

static bool WriteEntryAhead(void* context, int64_t index, const uint8_t* bytes, int64_t count, uint64_t time)
{
    WriteAhead& ahead = *static_cast<WriteAhead*>(context);
    // A large file is written by the loop, which reports its progress piece by piece.
    if (ahead.stopped || count > WritePieceSize)
        return false;
    const Str& shared = ahead.destinations->ref(index);
    if (shared.isEmpty())
        return false;
    Str path(shared.text(), shared.length()); // this thread's own copy
    try {
        bool inNewDirectory = index < ahead.inNewDirectory.length() && ahead.inNewDirectory.at(index);
        return CreateNewFileNow(*ahead.transaction, path, bytes, count, &time, inNewDirectory);
    } catch (...) {
        InterlockedExchange(&ahead.stopped, 1);
        return false;
    }
}

namespace {

// Texts without regard to case, by open addressing over their indexes in a StrArray.
struct TextSet {
    const StrArray* texts;
    Array<int64_t, true, 4> slots; // an index into texts, or -1; a power of two long
};

TextSet MakeTextSet(const StrArray& texts)
{
    TextSet set = {&texts, {}};
    int64_t size = 16;
    while (size < 2 * texts.length())
        size *= 2;
    set.slots.makeEmpty();
    set.slots.resize(size);
    for (int64_t i = 0; i < size; i++)
        set.slots.ref(i) = -1;
    return set;
}

// The index of the first text added that equals units (without regard to case), or -1; adds index
// when none does and index is not -1.
int64_t FindOrAdd(TextSet& set, const wchar_t* units, int64_t length, int64_t index)
{
    int64_t mask = set.slots.length() - 1;
    for (int64_t slot = HashNoCase(units, length) & mask;; slot = (slot + 1) & mask) {
        int64_t first = set.slots.at(slot);
        if (first < 0) {
            if (index >= 0)
                set.slots.ref(slot) = index;
            return -1;
        }
        const Str& text = set.texts->ref(first);
        if (StrEqualNoCase(text.text(), text.length(), units, length))
            return first;
    }
}

} // namespace

void ClearRepeatedPaths(StrArray& paths)
{
    TextSet seen = MakeTextSet(paths);
    ByteArray repeated;
    repeated.makeEmpty();
    repeated.resize(paths.length());
    for (int64_t i = 0; i < paths.length(); i++) {
        int64_t first = FindOrAdd(seen, paths.ref(i).text(), paths.ref(i).length(), i);
        if (first >= 0)
            repeated.ref(first) = repeated.ref(i) = 1;
    }
    for (int64_t i = 0; i < paths.length(); i++)
        if (repeated.at(i))
            paths.ref(i) = Str();
}

void MarkNewDirectories(WriteAhead& ahead, const StrArray& newDirectories)
{
    // Without a final backslash, as a destination's directory is compared.
    StrArray trimmed;
    trimmed.makeEmpty();
    for (int64_t i = 0; i < newDirectories.length(); i++) {
        const Str& directory = newDirectories.ref(i);
        int64_t length = directory.length();
        while (length > 0 && directory.text()[length - 1] == L'\\')
            length--;
        trimmed.append(Str(directory.text(), length));
    }
    TextSet directories = MakeTextSet(trimmed);
    for (int64_t i = 0; i < trimmed.length(); i++)
        FindOrAdd(directories, trimmed.ref(i).text(), trimmed.ref(i).length(), i);
    const StrArray& paths = *ahead.destinations;
    ahead.inNewDirectory.makeEmpty();
    ahead.inNewDirectory.resize(paths.length());
    for (int64_t i = 0; i < paths.length(); i++) {
        const wchar_t* units = paths.ref(i).text();
        const wchar_t* slash = wcsrchr(units, L'\\');
        if (slash && FindOrAdd(directories, units, slash - units, -1) >= 0)
            ahead.inNewDirectory.ref(i) = 1;
    }
}

EntryHandler WriteAheadHandler(WriteAhead& ahead)
{
    return EntryHandler{WriteEntryAhead, &ahead};
}
