// The workers of the read-ahead pipeline: each claims the next entry of the window, checks and
// unpacks it into its slot's queue or hands it to the handler; a worker that claims the first file
// of a solid block's run decodes the run from file to file; an idle one writes queued files ahead
// or decodes a later block beyond the window.
#include "archive/PipelineState.h"

#include "archive/ArchiveFormat.h"
#include "archive/UpdateFormat.h"
#include "core/Error.h"

#include <string.h>

// A handler's view of the entry its worker unpacks: pieces read on demand into the worker's slice.
namespace {
struct HandlerSource {
    EntryReader* reader;
    Slice* slice;
    const volatile LONG* stopRequested;
    bool touched;
    PieceResult failure; // Damaged or NoMemory when reading failed
};
} // namespace

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

// Calls the handler with the entry's bytes from source; a handler that raises gave up.
static bool CallHandler(const EntryHandler& handler, int64_t index, const ArchiveEntry& entry, const ByteSource& source,
                        bool beyondWindow)
{
    try {
        return handler.handle(handler.context, index, entry.size, entry.time, source, beyondWindow);
    } catch (...) {
        return false;
    }
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
    bool handled = CallHandler(handler, index, entry, ByteSource{NextForHandler, nullptr, &source}, beyondWindow);
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
namespace {
struct QueuedSource {
    Slice* next;
};
} // namespace

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
    bool handled = CallHandler(handler, index, entry, ByteSource{NextQueued, nullptr, &source}, false);
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
        if (s.claimed == index && WindowHasRoom(s)) {
            EndAheadRun(s, end);
            Claim(s);
            DecodeRun(s, reader, index);
            return;
        }
        // Waits for the window's room, or for the window itself when the file is not for now.
        EntryHandler handler = s.handler;
        if (s.claimed == index || left || !handler.handle ||
            (!s.bases.read && NeedsBase(s.entryItems[index].entry))) {
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

DWORD WINAPI PipelineWorker(void* parameter)
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
