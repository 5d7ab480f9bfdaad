#include "archive/EntryPipeline.h"

#include "archive/ArchiveReader.h"
#include "archive/PipelineState.h"
#include "core/Error.h"

#include <new>
#include <string.h>

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
                CreateThread(nullptr, WorkerStackSize, PipelineWorker, s, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
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
