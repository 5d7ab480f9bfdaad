#include "archive/EntryPipeline.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveIndex.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryReader.h"
#include "archive/UpdateFormat.h"
#include "core/Error.h"

#include <windows.h>

#include <new>
#include <string.h>

enum : int32_t { MaxWindowEntries = 64, MaxWorkers = 64, SliceHeader = 64 };
// A worker's stack: the LZMA decoder keeps its probability tables (about 28 KB) there.
enum : uint32_t { WorkerStackSize = 256 << 10 };

namespace {

// One recycled buffer: SliceSize bytes behind a small header, and the piece it holds while queued.
struct Slice {
    Slice* next;
    int64_t count;
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this) + SliceHeader; }
};

// Working: a worker has it and has not yet said how it comes. Queued: its pieces come through the
// slot's queue. Direct: the caller reads it itself (stored bytes straight from the archive, or an
// entry that a handler began and gave up). Handled: a handler dealt with it.
enum class SlotStatus { Empty, Working, Queued, Direct, Handled, Missing, Damaged, NoMemory };

struct Slot {
    SlotStatus status;
    Slice* first; // queued pieces, oldest first
    Slice* last;
    int64_t queued;      // their bytes
    bool producing;      // a worker still adds pieces
    bool abandoned;      // the caller no longer reads them: the worker stops and empties the slot
    bool released;       // what the entry counts was given back before it was taken
    PieceResult ending;  // Damaged or NoMemory when the stream went wrong after the queued pieces
    // A small file of a solid block, queued whole and right: any idle worker may write it ahead
    // with handler while the block's worker decodes on.
    bool writable;
    EntryHandler handler;
};

} // namespace

typedef Array<int64_t, true, 4> IndexArray;

// A run of a block that an otherwise idle worker decodes ahead of the window, writing its files
// with the handler: its entries from next to end are that worker's, the window claims them only
// through it.
struct AheadRun {
    int64_t next;
    int64_t end;
};

// Everything below the lock is shared with the workers; names and the errors built from them stay
// on the caller's thread, because texts and arrays are counted without locks.
struct PipelineState {
    SRWLOCK lock;
    CONDITION_VARIABLE workReady;  // a worker may claim an entry, or must stop
    CONDITION_VARIABLE entryReady; // the caller's entry began, or a piece of it came
    CONDITION_VARIABLE roomReady;  // the caller took a piece: a worker with a full queue may go on
    CONDITION_VARIABLE runReady;   // the worker reading a solid block may claim its next entry
    PipelineLimits limits;
    StrArray names;
    LocationArray entries; // record null for a name that the archive does not hold; read-only
    const EntryLocation* entryItems;
    // For each entry, the end of its run: the entries up to there are files of one solid block in
    // the block's order, which one worker claims one after the other as it decodes the block.
    IndexArray runEnds;
    const int64_t* runEndItems;
    int64_t count;
    int64_t reservedEnd;  // entries from claimed up to here belong to the worker of a block
    bool runWaiting;      // that worker waits on runReady
    AheadRun aheadRuns[MaxWorkers];
    int32_t aheadCount;
    int32_t aheadWaiting; // workers of such runs waiting on runReady for the window
    int64_t aheadFrom;    // where the next run to decode ahead is looked for
    ByteArray handledAhead; // by entry: 1 once written ahead of the window (workers write, locked)
    uint8_t* handledAheadItems;
    Slot slots[MaxWindowEntries];
    int64_t taken;   // entries handed to the caller
    int64_t claimed; // entries that workers took up
    int64_t bytesAhead;
    int32_t entriesAhead;
    int64_t peakBytes;
    int32_t peakEntries;
    Slice* freeSlices;   // made once, kept for the next piece until the pipeline ends
    int64_t slicesMade;
    EntryHandler handler;  // for the entries begun from now on; handle null for none
    PatchBaseReader bases; // read null until the caller can supply the bases of patches
    int32_t idleWorkers;   // waiting on workReady: only then is a wake-up worth a call
    bool callerWaiting;    // the caller waits on entryReady
    bool stopping;
    volatile LONG stopRequested; // stopping, read by handlers' sources without the lock
    HANDLE threads[MaxWorkers];
    int32_t threadCount;
    // The caller's own side, touched by its thread only.
    int64_t current;         // the entry taken last, -1 for none
    SlotStatus currentMode;  // Queued, Direct, or Empty when there is nothing to read
    Slice* held;             // the piece handed out last
    Slice* own;              // the buffer for reading here
    EntryReader reader;      // for reading here
};

PipelineLimits DefaultPipelineLimits()
{
    PipelineLimits limits;
    limits.workers = 0;
    limits.maxEntries = 32;
    limits.maxBytes = 8 << 20;
    return limits;
}

static int32_t ProcessorCount()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}

// What an entry counts against the window: the most of its bytes it holds at once.
static int64_t Charge(const EntryLocation& location)
{
    const ArchiveEntry& entry = location.entry;
    int64_t whole = WholeBufferSize(entry, SliceSize);
    if (whole > 0)
        return whole;
    return entry.size < EntryQueueLimit ? entry.size : EntryQueueLimit;
}

// Slices, under the lock. A slice is made once and then recycled.
static Slice* TakeSlice(PipelineState& s)
{
    Slice* slice = s.freeSlices;
    if (slice) {
        s.freeSlices = slice->next;
        return slice;
    }
    // Committed, not touched: the system gives each page when it is first written.
    slice = static_cast<Slice*>(VirtualAlloc(nullptr, SliceHeader + SliceSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (slice)
        s.slicesMade++;
    return slice;
}

static void GiveBack(PipelineState& s, Slice*& slice)
{
    if (!slice)
        return;
    slice->next = s.freeSlices;
    s.freeSlices = slice;
    slice = nullptr;
}

static void FreeQueue(PipelineState& s, Slot& slot)
{
    while (slot.first) {
        Slice* slice = slot.first;
        slot.first = slice->next;
        GiveBack(s, slice);
    }
    slot.last = nullptr;
    slot.queued = 0;
}

// Whether the next unclaimed entry fits in the window. The entry the caller waits for always does,
// so that one entry larger than the window still moves.
static bool WindowHasRoom(const PipelineState& s)
{
    if (s.stopping || s.claimed >= s.count || s.claimed - s.taken >= s.limits.maxEntries ||
        s.slots[s.claimed % MaxWindowEntries].status != SlotStatus::Empty)
        return false;
    if (!s.bases.read && NeedsBase(s.entryItems[s.claimed].entry))
        return false;
    return s.claimed == s.taken || s.bytesAhead + Charge(s.entryItems[s.claimed]) <= s.limits.maxBytes;
}

// The run decoded ahead that holds index, or -1.
static int32_t AheadRunOf(const PipelineState& s, int64_t index)
{
    for (int32_t i = 0; i < s.aheadCount; i++)
        if (index >= s.aheadRuns[i].next && index < s.aheadRuns[i].end)
            return i;
    return -1;
}

// Whether any worker may claim the next entry: not one that a block's worker will claim.
static bool CanClaim(const PipelineState& s)
{
    return s.claimed >= s.reservedEnd && WindowHasRoom(s) && AheadRunOf(s, s.claimed) < 0;
}

static int64_t Claim(PipelineState& s);
static void WakeCaller(PipelineState& s);

// The entries written ahead of the window that it reaches: claimed as handled at once.
static void ClaimHandledAhead(PipelineState& s)
{
    bool claimed = false;
    while (s.claimed < s.count && s.handledAheadItems[s.claimed] && s.claimed >= s.reservedEnd &&
           s.claimed - s.taken < s.limits.maxEntries && s.slots[s.claimed % MaxWindowEntries].status == SlotStatus::Empty) {
        int64_t index = Claim(s);
        s.slots[index % MaxWindowEntries].status = SlotStatus::Handled;
        s.slots[index % MaxWindowEntries].released = true;
        s.bytesAhead -= Charge(s.entryItems[index]);
        claimed = true;
    }
    if (claimed)
        WakeCaller(s);
}

static void WakeWorker(PipelineState& s)
{
    ClaimHandledAhead(s);
    if (s.claimed < s.reservedEnd || AheadRunOf(s, s.claimed) >= 0) {
        // Several may wait there: the window's block worker and those ahead of it.
        if ((s.runWaiting || s.aheadWaiting > 0) && WindowHasRoom(s))
            WakeAllConditionVariable(&s.runReady);
    } else if (s.idleWorkers > 0 && CanClaim(s)) {
        WakeConditionVariable(&s.workReady);
    }
}

// Takes up the next entry under the lock: counted in the window until the caller takes it.
static int64_t Claim(PipelineState& s)
{
    int64_t index = s.claimed++;
    Slot& slot = s.slots[index % MaxWindowEntries];
    slot = Slot();
    slot.status = SlotStatus::Working;
    s.bytesAhead += Charge(s.entryItems[index]);
    s.entriesAhead++;
    if (s.bytesAhead > s.peakBytes)
        s.peakBytes = s.bytesAhead;
    if (s.entriesAhead > s.peakEntries)
        s.peakEntries = s.entriesAhead;
    return index;
}

static void WakeCaller(PipelineState& s)
{
    if (s.callerWaiting)
        WakeConditionVariable(&s.entryReady);
}

// The caller's entry gives up its slot: the queue goes, and a worker still filling it stops and
// empties it.
static void Detach(PipelineState& s, int64_t index)
{
    Slot& slot = s.slots[index % MaxWindowEntries];
    FreeQueue(s, slot);
    if (slot.producing) {
        slot.abandoned = true;
        WakeAllConditionVariable(&s.roomReady);
    } else {
        slot.status = SlotStatus::Empty;
        WakeWorker(s);
    }
}

// A handler's view of the entry its worker unpacks: pieces read on demand into the worker's slice.
struct HandlerSource {
    EntryReader* reader;
    Slice* slice;
    const volatile LONG* stopRequested;
    bool touched;
    PieceResult failure; // Damaged or NoMemory when reading failed
};

static bool NextForHandler(void* context, const uint8_t** bytes, int64_t* count)
{
    HandlerSource& source = *static_cast<HandlerSource*>(context);
    source.touched = true;
    // A large file written ahead gives up rather than hold up the stop; an error, so that what the
    // handler began is undone as after any failed write.
    if (*source.stopRequested)
        throw WinError(ERROR_OPERATION_ABORTED);
    PieceResult result = ReadPiece(*source.reader, source.slice->bytes(), SliceSize, bytes, count);
    if (result == PieceResult::Piece)
        return true;
    if (result == PieceResult::End)
        return false;
    source.failure = result;
    if (result == PieceResult::NoMemory)
        throw MemoryError();
    throw CrcError(nullptr); // the caller raises the entry's own error
}

// Whether a file is left for other workers to write: one of a solid block small enough to be
// queued whole, so that the block's worker goes on decoding instead of writing it.
static bool QueuedForWriters(const EntryLocation& location, const EntryHandler& handler)
{
    return handler.handle && location.file >= 0 && location.entry.size < EntryQueueLimit;
}

// Opens the worker's entry and checks it: Good, or the status it then has.
static SlotStatus Open(PipelineState& s, EntryReader& reader, int64_t index)
{
    if (!s.entryItems[index].entry.record)
        return SlotStatus::Missing;
    try {
        if (OpenLocatedEntry(reader, s.entryItems[index], false, index) != EntryCheck::Good)
            return SlotStatus::Damaged;
    } catch (const MemoryError&) {
        return SlotStatus::NoMemory;
    }
    return SlotStatus::Working;
}

// Hands the opened entry to the handler: Handled; Empty when the handler left it without reading
// a byte; Direct when it began and gave up (the caller reads it again); or how reading it failed.
static SlotStatus Hand(PipelineState& s, EntryReader& reader, int64_t index, const EntryHandler& handler,
                       bool beyondWindow)
{
    const ArchiveEntry& entry = s.entryItems[index].entry;
    AcquireSRWLockExclusive(&s.lock);
    HandlerSource source = {&reader, TakeSlice(s), &s.stopRequested, false, PieceResult::Piece};
    ReleaseSRWLockExclusive(&s.lock);
    if (!source.slice)
        return SlotStatus::NoMemory;
    bool handled = false;
    try {
        handled = handler.handle(handler.context, index, entry.size, entry.time,
                                 ByteSource{NextForHandler, nullptr, &source}, beyondWindow);
    } catch (...) {
        handled = false;
    }
    AcquireSRWLockExclusive(&s.lock);
    GiveBack(s, source.slice);
    ReleaseSRWLockExclusive(&s.lock);
    if (handled)
        return SlotStatus::Handled;
    if (source.failure == PieceResult::Damaged)
        return SlotStatus::Damaged;
    if (source.failure == PieceResult::NoMemory)
        return SlotStatus::NoMemory;
    return source.touched ? SlotStatus::Direct : SlotStatus::Empty;
}

// How the worker's entry comes: checked, and handed to the handler when there is one.
static SlotStatus Begin(PipelineState& s, EntryReader& reader, int64_t index, const EntryHandler& handler)
{
    SlotStatus status = Open(s, reader, index);
    if (status != SlotStatus::Working)
        return status;
    if (handler.handle && !QueuedForWriters(s.entryItems[index], handler)) {
        status = Hand(s, reader, index, handler, false);
        if (status != SlotStatus::Empty)
            return status;
    }
    return IsStored(s.entryItems[index].entry) ? SlotStatus::Direct : SlotStatus::Queued;
}

// Unpacks the entry slice by slice into its slot's queue, at most EntryQueueLimit ahead of the
// caller, until it ends, goes wrong or is no longer wanted. Under the lock, left while unpacking.
static void Fill(PipelineState& s, EntryReader& reader, Slot& slot)
{
    for (;;) {
        while (slot.queued >= EntryQueueLimit && !slot.abandoned && !s.stopping)
            SleepConditionVariableSRW(&s.roomReady, &s.lock, INFINITE, 0);
        if (slot.abandoned || s.stopping)
            return;
        Slice* slice = TakeSlice(s);
        ReleaseSRWLockExclusive(&s.lock);
        const uint8_t* piece = nullptr;
        int64_t count = 0;
        PieceResult result =
            slice ? ReadPiece(reader, slice->bytes(), SliceSize, &piece, &count) : PieceResult::NoMemory;
        if (result == PieceResult::Piece && piece != slice->bytes())
            memcpy(slice->bytes(), piece, static_cast<size_t>(count)); // from a whole buffer
        AcquireSRWLockExclusive(&s.lock);
        if (result != PieceResult::Piece) {
            GiveBack(s, slice);
            slot.ending = result;
            return;
        }
        slice->next = nullptr;
        slice->count = count;
        if (slot.last)
            slot.last->next = slice;
        else
            slot.first = slice;
        slot.last = slice;
        slot.queued += count;
        WakeCaller(s);
    }
}

// Under the lock: the worker's entry is begun; a queued one is unpacked into its slot.
static void Finish(PipelineState& s, EntryReader& reader, int64_t index, SlotStatus status,
                   const EntryHandler& handler)
{
    Slot& slot = s.slots[index % MaxWindowEntries];
    if (status == SlotStatus::Handled) {
        // Written out: it holds nothing any more, so the window has room again.
        s.bytesAhead -= Charge(s.entryItems[index]);
        slot.released = true;
    }
    slot.status = status;
    if (status == SlotStatus::Queued) {
        slot.producing = true;
        WakeCaller(s);
        Fill(s, reader, slot);
        slot.producing = false;
        if (slot.abandoned) {
            FreeQueue(s, slot);
            slot.status = SlotStatus::Empty;
        } else if (index >= s.taken && slot.ending == PieceResult::End &&
                   QueuedForWriters(s.entryItems[index], handler)) {
            slot.writable = true;
            slot.handler = handler;
            if (s.idleWorkers > 0)
                WakeConditionVariable(&s.workReady);
        }
    }
    WakeCaller(s);
    WakeWorker(s);
}

// A queued file's slices read in place, for a handler: the queue stays as it is should the
// handler give up, and the caller then reads it.
struct QueuedSource {
    Slice* next;
};

static bool NextQueued(void* context, const uint8_t** bytes, int64_t* count)
{
    QueuedSource& source = *static_cast<QueuedSource*>(context);
    Slice* slice = source.next;
    if (!slice)
        return false;
    source.next = slice->next;
    *bytes = slice->bytes();
    *count = slice->count;
    return true;
}

// Under the lock: the first entry that a worker may write from its queue, or -1.
static int64_t WritableEntry(const PipelineState& s)
{
    for (int64_t index = s.taken; index < s.claimed; index++)
        if (s.slots[index % MaxWindowEntries].writable)
            return index;
    return -1;
}

// Under the lock, left while writing: writes a queued file of a block ahead; the caller waits
// for it meanwhile, and reads the queue when the handler gives up.
static void WriteQueued(PipelineState& s, int64_t index)
{
    Slot& slot = s.slots[index % MaxWindowEntries];
    slot.writable = false;
    slot.status = SlotStatus::Working;
    EntryHandler handler = slot.handler;
    QueuedSource source = {slot.first};
    const ArchiveEntry& entry = s.entryItems[index].entry;
    ReleaseSRWLockExclusive(&s.lock);
    bool handled = false;
    try {
        handled = handler.handle(handler.context, index, entry.size, entry.time, ByteSource{NextQueued, nullptr, &source},
                                 false);
    } catch (...) {
        handled = false;
    }
    AcquireSRWLockExclusive(&s.lock);
    if (handled) {
        FreeQueue(s, slot);
        s.bytesAhead -= Charge(s.entryItems[index]);
        slot.released = true;
    }
    slot.status = handled ? SlotStatus::Handled : SlotStatus::Queued;
    WakeCaller(s);
    WakeWorker(s);
}

// Under the lock: waits until the worker of a block may claim its next entry; false when stopping.
static bool WaitForRunRoom(PipelineState& s)
{
    while (!s.stopping && !WindowHasRoom(s)) {
        int64_t writable = WritableEntry(s); // meanwhile, write what the block gave
        if (writable >= 0) {
            WriteQueued(s, writable);
            continue;
        }
        s.runWaiting = true;
        SleepConditionVariableSRW(&s.runReady, &s.lock, INFINITE, 0);
        s.runWaiting = false;
    }
    return !s.stopping;
}

// Under the lock, with the run's first entry (index) just claimed: it and, one after the other as
// the window allows, the rest: one worker decodes a block from file to file.
static void DecodeRun(PipelineState& s, EntryReader& reader, int64_t index)
{
    int64_t runEnd = s.runEndItems[index];
    if (runEnd > index + 1)
        s.reservedEnd = runEnd;
    for (;;) {
        EntryHandler handler = s.handler;
        reader.bases = s.bases;
        ReleaseSRWLockExclusive(&s.lock);
        SlotStatus status = Begin(s, reader, index, handler);
        AcquireSRWLockExclusive(&s.lock);
        Finish(s, reader, index, status, handler);
        if (++index >= runEnd || !WaitForRunRoom(s))
            break;
        Claim(s);
        WakeWorker(s); // past the run's last entry: the others may claim again
    }
}

// Under the lock: the first entry of a block's run beyond the window that an idle worker may
// decode ahead, or -1. Only with a handler to write its files, and one worker always stays for
// the window, whose blocks only workers decode.
static int64_t RunToDecodeAhead(PipelineState& s)
{
    if (!s.handler.handle || s.aheadCount >= s.limits.workers - 1)
        return -1;
    int64_t from = s.claimed + 1;
    if (from < s.reservedEnd)
        from = s.reservedEnd;
    if (from < s.aheadFrom)
        from = s.aheadFrom;
    // From within a run, the next one: a run is decoded from its first entry.
    if (from < s.count && s.entryItems[from].file >= 0 && s.runEndItems[from - 1] == s.runEndItems[from])
        from = s.runEndItems[from];
    while (from < s.count && s.entryItems[from].file < 0)
        from++;
    s.aheadFrom = from;
    return from < s.count ? from : -1;
}

// Under the lock: the run decoded ahead that ends at end is over; what is left of it goes to the
// window.
static void EndAheadRun(PipelineState& s, int64_t end)
{
    for (int32_t i = 0; i < s.aheadCount; i++)
        if (s.aheadRuns[i].end == end) {
            s.aheadRuns[i] = s.aheadRuns[--s.aheadCount];
            break;
        }
    WakeWorker(s);
    if (s.idleWorkers > 0)
        WakeConditionVariable(&s.workReady); // an idle one may decode the next block ahead
}

// Under the lock: decodes a block's run from start ahead of the window, its files written with
// the handler, so that blocks decode side by side. When the window reaches the worker, it goes on
// as the run's worker (DecodeRun). A file that the handler leaves waits with the decoder where it
// is until the window reaches it; after a file that the handler began and gave up, or one that
// is damaged, the window reads the rest of the run as it would have (decoding the block again).
static void DecodeAhead(PipelineState& s, EntryReader& reader, int64_t start)
{
    int64_t index = start, end = s.runEndItems[start];
    s.aheadRuns[s.aheadCount++] = AheadRun{start, end};
    s.aheadFrom = end;
    bool left = false; // the handler left the file at index to the window
    while (!s.stopping && index < end) {
        if (s.claimed == index) {
            if (!WindowHasRoom(s)) {
                s.aheadWaiting++;
                SleepConditionVariableSRW(&s.runReady, &s.lock, INFINITE, 0);
                s.aheadWaiting--;
                continue;
            }
            EndAheadRun(s, end);
            Claim(s);
            DecodeRun(s, reader, index);
            return;
        }
        EntryHandler handler = s.handler;
        if (left || !handler.handle || (!s.bases.read && NeedsBase(s.entryItems[index].entry))) {
            s.aheadWaiting++;
            SleepConditionVariableSRW(&s.runReady, &s.lock, INFINITE, 0);
            s.aheadWaiting--;
            continue;
        }
        reader.bases = s.bases;
        ReleaseSRWLockExclusive(&s.lock);
        SlotStatus status = Open(s, reader, index);
        if (status == SlotStatus::Working)
            status = Hand(s, reader, index, handler, true);
        AcquireSRWLockExclusive(&s.lock);
        if (status == SlotStatus::Empty) {
            left = true;
        } else if (status == SlotStatus::Handled) {
            s.handledAheadItems[index] = 1;
            s.aheadRuns[AheadRunOf(s, index)].next = index + 1;
            index++;
            WakeWorker(s); // the window may be there
        } else {
            break;
        }
    }
    EndAheadRun(s, end);
}

static void CloseReaderBlock(PipelineState& s, EntryReader& reader)
{
    if (reader.block.cursor) {
        ReleaseSRWLockExclusive(&s.lock);
        CloseBlock(reader.block);
        AcquireSRWLockExclusive(&s.lock);
    }
}

static DWORD WINAPI WorkerMain(void* parameter)
{
    PipelineState& s = *static_cast<PipelineState*>(parameter);
    EntryReader reader;
    AcquireSRWLockExclusive(&s.lock);
    while (!s.stopping) {
        if (!CanClaim(s)) {
            int64_t writable = WritableEntry(s);
            if (writable >= 0) {
                WriteQueued(s, writable);
                continue;
            }
            int64_t ahead = RunToDecodeAhead(s);
            if (ahead >= 0) {
                DecodeAhead(s, reader, ahead);
                CloseReaderBlock(s, reader);
                continue;
            }
            s.idleWorkers++;
            SleepConditionVariableSRW(&s.workReady, &s.lock, INFINITE, 0);
            s.idleWorkers--;
            continue;
        }
        DecodeRun(s, reader, Claim(s));
        CloseReaderBlock(s, reader);
    }
    ReleaseSRWLockExclusive(&s.lock);
    return 0;
}

// Under the lock: the caller is done with the entry it took last.
static void FinishCurrent(PipelineState& s)
{
    GiveBack(s, s.held);
    GiveBack(s, s.own);
    if (s.currentMode == SlotStatus::Queued)
        Detach(s, s.current);
    s.current = -1;
    s.currentMode = SlotStatus::Empty;
}

// Stops the workers, waiting up to milliseconds; false when one is still at work.
static bool StopWorkers(PipelineState& s, uint32_t milliseconds)
{
    AcquireSRWLockExclusive(&s.lock);
    s.stopping = true;
    InterlockedExchange(&s.stopRequested, 1);
    WakeAllConditionVariable(&s.workReady);
    WakeAllConditionVariable(&s.roomReady);
    WakeAllConditionVariable(&s.runReady);
    ReleaseSRWLockExclusive(&s.lock);
    // Each worker ends after the slice in hand (a handler after its entry).
    if (s.threadCount > 0 &&
        WaitForMultipleObjects(static_cast<DWORD>(s.threadCount), s.threads, TRUE, milliseconds) == WAIT_TIMEOUT)
        return false;
    for (int32_t i = 0; i < s.threadCount; i++)
        CloseHandle(s.threads[i]);
    s.threadCount = 0;
    AcquireSRWLockExclusive(&s.lock);
    FinishCurrent(s);
    for (Slot& slot : s.slots) {
        FreeQueue(s, slot);
        slot = Slot();
    }
    ReleaseSRWLockExclusive(&s.lock);
    return true;
}

static void Destroy(PipelineState* s)
{
    StopWorkers(*s, INFINITE);
    for (Slice* slice = s->freeSlices; slice;) {
        Slice* next = slice->next;
        VirtualFree(slice, 0, MEM_RELEASE);
        slice = next;
    }
    s->~PipelineState();
    FreeBlock(s);
}

EntryPipeline::EntryPipeline(const StrArray& names, const PipelineLimits& limits) : state(nullptr)
{
    void* block = AllocateZeroed(sizeof(PipelineState));
    PipelineState* s = new (block) PipelineState();
    InitializeSRWLock(&s->lock);
    InitializeConditionVariable(&s->workReady);
    InitializeConditionVariable(&s->entryReady);
    InitializeConditionVariable(&s->roomReady);
    InitializeConditionVariable(&s->runReady);
    s->current = -1;
    s->currentMode = SlotStatus::Empty;
    state = s;
    try {
        s->limits = limits;
        if (s->limits.workers <= 0)
            s->limits.workers = ProcessorCount();
        if (s->limits.workers > MaxWorkers)
            s->limits.workers = MaxWorkers;
        if (s->limits.maxEntries < 1 || s->limits.maxEntries > MaxWindowEntries)
            s->limits.maxEntries = MaxWindowEntries;
        s->names = names;
        s->count = names.length();
        // Every name is looked up here, on the caller's thread: the workers only read records.
        s->entries.makeEmpty();
        s->entries.resize(s->count);
        for (int64_t i = 0; i < s->count; i++) {
            const EntryLocation* location = LocateEntry(names.ref(i).text(), names.ref(i).length());
            s->entries.items()[i] = location ? *location : EntryLocation{ArchiveEntry(), -1};
        }
        s->entryItems = s->entries.items();
        s->runEnds.makeEmpty();
        s->runEnds.resize(s->count);
        for (int64_t i = s->count - 1; i >= 0; i--) {
            const EntryLocation& here = s->entryItems[i];
            const EntryLocation* next = i + 1 < s->count ? &s->entryItems[i + 1] : nullptr;
            bool sameRun = next && here.file >= 0 && next->file > here.file && next->entry.record == here.entry.record;
            s->runEnds.items()[i] = sameRun ? s->runEnds.items()[i + 1] : i + 1;
        }
        s->runEndItems = s->runEnds.items();
        s->handledAhead.makeEmpty();
        s->handledAhead.resize(s->count);
        s->handledAheadItems = s->handledAhead.items();
        for (int32_t i = 0; i < s->limits.workers; i++) {
            HANDLE thread =
                CreateThread(nullptr, WorkerStackSize, WorkerMain, s, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (!thread)
                ThrowLastError(nullptr, L"CreateThread");
            s->threads[s->threadCount++] = thread;
        }
    } catch (...) {
        Destroy(s);
        state = nullptr;
        throw;
    }
}

EntryPipeline::~EntryPipeline()
{
    Destroy(state);
}

void EntryPipeline::stop()
{
    StopWorkers(*state, INFINITE);
}

bool EntryPipeline::stopWithin(uint32_t milliseconds)
{
    return StopWorkers(*state, milliseconds);
}

// The entry's own name, for the error of a damaged entry.
static Str RecordName(const ArchiveEntry& entry)
{
    wchar_t small[260];
    CharBuffer large;
    return Str(EntryNameUnits(entry, small, large), entry.nameLength);
}

TakenEntry EntryPipeline::take()
{
    PipelineState& s = *state;
    AcquireSRWLockExclusive(&s.lock);
    FinishCurrent(s);
    if (s.stopping || s.taken >= s.count) {
        ReleaseSRWLockExclusive(&s.lock);
        throw IndexError();
    }
    int64_t index = s.taken;
    const EntryLocation& location = s.entryItems[index];
    const ArchiveEntry& entry = location.entry;
    Slot& slot = s.slots[index % MaxWindowEntries];
    bool checked = true;
    // A block is decoded on a worker when there is one, never on the caller's thread.
    bool forWorkers = index < s.reservedEnd || (location.file >= 0 && s.threadCount > 0);
    for (;;) {
        if (s.claimed == index && slot.status == SlotStatus::Empty && !forWorkers) {
            // No worker has it yet (all busy, or none scheduled): it is read here, with no hand-over.
            Claim(s);
            slot.status = entry.record ? SlotStatus::Direct : SlotStatus::Missing;
            checked = false;
            break;
        }
        // A worker is at it, or is still leaving the slot to an entry given up earlier.
        if (s.claimed > index && slot.status != SlotStatus::Working)
            break;
        if (s.claimed == index)
            WakeAllConditionVariable(&s.workReady);
        WakeWorker(s);
        s.callerWaiting = true;
        SleepConditionVariableSRW(&s.entryReady, &s.lock, INFINITE, 0);
        s.callerWaiting = false;
        forWorkers = forWorkers && !s.stopping;
    }
    SlotStatus status = slot.status;
    slot.writable = false; // the caller writes it now
    if (!slot.released)
        s.bytesAhead -= Charge(location);
    s.entriesAhead--;
    s.taken++;
    s.current = index;
    s.currentMode = status == SlotStatus::Queued || status == SlotStatus::Direct ? status : SlotStatus::Empty;
    if (status != SlotStatus::Queued)
        slot.status = SlotStatus::Empty;
    WakeWorker(s); // one place came free: one worker takes it
    ReleaseSRWLockExclusive(&s.lock);

    if (status == SlotStatus::Missing)
        throw WinError(ERROR_FILE_NOT_FOUND, s.names.ref(index).text());
    LastEntryTime = entry.time;
    if (status == SlotStatus::NoMemory)
        throw MemoryError();
    if (status != SlotStatus::Direct || location.entry.record != s.reader.block.record)
        CloseBlock(s.reader.block); // kept only to read on through the same block here
    if (status == SlotStatus::Direct && OpenLocatedEntry(s.reader, location, checked, index) != EntryCheck::Good)
        status = SlotStatus::Damaged;
    if (status == SlotStatus::Damaged) {
        s.currentMode = SlotStatus::Empty;
        throw CrcError(RecordName(entry).text());
    }
    return TakenEntry{entry.size, entry.time, status == SlotStatus::Handled};
}

// The piece after the one handed out last, for the caller's entry.
static bool NextForCaller(void* context, const uint8_t** bytes, int64_t* count)
{
    PipelineState& s = *static_cast<PipelineState*>(context);
    PieceResult result = PieceResult::End;
    if (s.currentMode == SlotStatus::Queued) {
        AcquireSRWLockExclusive(&s.lock);
        GiveBack(s, s.held);
        Slot& slot = s.slots[s.current % MaxWindowEntries];
        while (!slot.first && slot.producing) {
            s.callerWaiting = true;
            SleepConditionVariableSRW(&s.entryReady, &s.lock, INFINITE, 0);
            s.callerWaiting = false;
        }
        Slice* slice = slot.first;
        if (slice) {
            slot.first = slice->next;
            if (!slot.first)
                slot.last = nullptr;
            slot.queued -= slice->count;
            s.held = slice;
            WakeAllConditionVariable(&s.roomReady);
            *bytes = slice->bytes();
            *count = slice->count;
            result = PieceResult::Piece;
        } else if (slot.ending != PieceResult::Piece) {
            result = slot.ending;
        }
        ReleaseSRWLockExclusive(&s.lock);
    } else if (s.currentMode == SlotStatus::Damaged) {
        result = PieceResult::Damaged;
    } else if (s.currentMode == SlotStatus::Direct) {
        if (!s.own) {
            AcquireSRWLockExclusive(&s.lock);
            s.own = TakeSlice(s);
            ReleaseSRWLockExclusive(&s.lock);
            if (!s.own)
                throw MemoryError();
        }
        result = ReadPiece(s.reader, s.own->bytes(), SliceSize, bytes, count);
    }
    if (result == PieceResult::NoMemory)
        throw MemoryError();
    if (result == PieceResult::Damaged)
        throw CrcError(RecordName(s.entryItems[s.current].entry).text());
    return result == PieceResult::Piece;
}

static void RewindForCaller(void* context)
{
    PipelineState& s = *static_cast<PipelineState*>(context);
    if (s.currentMode == SlotStatus::Empty)
        return;
    AcquireSRWLockExclusive(&s.lock);
    GiveBack(s, s.held);
    if (s.currentMode == SlotStatus::Queued)
        Detach(s, s.current);
    ReleaseSRWLockExclusive(&s.lock);
    // A file of a solid block is reached by decoding its block again from the start, here.
    s.currentMode = SlotStatus::Direct;
    if (OpenLocatedEntry(s.reader, s.entryItems[s.current], true, s.current) != EntryCheck::Good)
        s.currentMode = SlotStatus::Damaged;
}

ByteSource EntryPipeline::source()
{
    return ByteSource{NextForCaller, RewindForCaller, state};
}

// Under the lock: the caller waits for news of the workers until deadline (GetTickCount64);
// false when the time is up.
static bool SleepUntil(PipelineState& s, uint64_t deadline)
{
    uint64_t now = GetTickCount64();
    if (now >= deadline)
        return false;
    s.callerWaiting = true;
    SleepConditionVariableSRW(&s.entryReady, &s.lock, static_cast<DWORD>(deadline - now), 0);
    s.callerWaiting = false;
    return true;
}

bool EntryPipeline::pieceReady(uint32_t milliseconds)
{
    PipelineState& s = *state;
    if (s.currentMode != SlotStatus::Queued)
        return true;
    AcquireSRWLockExclusive(&s.lock);
    Slot& slot = s.slots[s.current % MaxWindowEntries];
    // A wake-up may be for another slot: wait again for the time left.
    uint64_t deadline = GetTickCount64() + milliseconds;
    while (!slot.first && slot.producing && SleepUntil(s, deadline))
        ;
    bool ready = slot.first || !slot.producing;
    ReleaseSRWLockExclusive(&s.lock);
    return ready;
}

ByteArray EntryPipeline::next(int64_t* handledSize)
{
    TakenEntry entry = take();
    if (handledSize)
        *handledSize = -1;
    ByteArray bytes;
    if (entry.handled) {
        if (!handledSize)
            throw InternalError(); // the caller set a handler and must ask for handled entries
        *handledSize = entry.size;
        return bytes;
    }
    bytes.resizeForFilling(entry.size);
    ByteSource pieces = source();
    const uint8_t* piece;
    int64_t count, at = 0;
    while (pieces.next(pieces.context, &piece, &count)) {
        memcpy(bytes.items() + at, piece, static_cast<size_t>(count));
        at += count;
    }
    return bytes;
}

void EntryPipeline::handleAhead(const EntryHandler* handler)
{
    AcquireSRWLockExclusive(&state->lock);
    state->handler = handler ? *handler : EntryHandler{nullptr, nullptr};
    WakeAllConditionVariable(&state->workReady); // idle workers may now decode blocks ahead
    ReleaseSRWLockExclusive(&state->lock);
}

void EntryPipeline::readBasesWith(const PatchBaseReader& reader)
{
    state->reader.bases = reader; // the caller's own
    AcquireSRWLockExclusive(&state->lock);
    state->bases = reader;
    WakeAllConditionVariable(&state->workReady);
    WakeAllConditionVariable(&state->runReady); // a worker ahead may wait at a patch
    ReleaseSRWLockExclusive(&state->lock);
}

bool EntryPipeline::waitReady(uint32_t milliseconds)
{
    PipelineState& s = *state;
    AcquireSRWLockExclusive(&s.lock);
    bool ready = true;
    if (!s.stopping && s.taken < s.count && (s.claimed > s.taken || s.threadCount > 0)) {
        Slot& slot = s.slots[s.taken % MaxWindowEntries];
        // Unclaimed, with workers about (they are waking up): one of them takes it, so that the
        // caller's thread, which answers the window, never unpacks a large entry itself.
        if (s.claimed == s.taken)
            WakeAllConditionVariable(&s.workReady);
        WakeWorker(s); // the worker of a block, when the entry is one of its files
        // A wake-up may be for another entry: wait again for the time left.
        uint64_t deadline = GetTickCount64() + milliseconds;
        while ((s.claimed == s.taken || slot.status == SlotStatus::Working) && !s.stopping &&
               SleepUntil(s, deadline))
            ;
        ready = s.claimed > s.taken && slot.status != SlotStatus::Working;
    }
    ReleaseSRWLockExclusive(&s.lock);
    return ready;
}

int64_t EntryPipeline::position() const
{
    AcquireSRWLockExclusive(&state->lock);
    int64_t taken = state->taken;
    ReleaseSRWLockExclusive(&state->lock);
    return taken;
}

int64_t EntryPipeline::peakBytes() const
{
    AcquireSRWLockExclusive(&state->lock);
    int64_t peak = state->peakBytes;
    ReleaseSRWLockExclusive(&state->lock);
    return peak;
}

int32_t EntryPipeline::peakEntries() const
{
    AcquireSRWLockExclusive(&state->lock);
    int32_t peak = state->peakEntries;
    ReleaseSRWLockExclusive(&state->lock);
    return peak;
}

int64_t EntryPipeline::peakSliceBytes() const
{
    AcquireSRWLockExclusive(&state->lock);
    int64_t made = state->slicesMade * SliceSize;
    ReleaseSRWLockExclusive(&state->lock);
    return made;
}
