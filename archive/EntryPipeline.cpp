#include "archive/EntryPipeline.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveIndex.h"
#include "archive/ArchiveReader.h"
#include "archive/UpdateFormat.h"
#include "core/Error.h"

#include <windows.h>

#include <new>
#include <utility>

enum : int32_t { MaxWindowEntries = 64, MaxWorkers = 64 };
// A worker's stack: the LZMA decoder keeps its probability tables (about 28 KB) there.
enum : uint32_t { WorkerStackSize = 256 << 10 };

namespace {

enum class SlotStatus { Empty, Working, Good, Handled, Missing, Damaged, NoMemory };

struct Slot {
    ByteArray bytes;
    SlotStatus status;
};

} // namespace

typedef Array<ArchiveEntry, true, 4> EntryArray;

// Everything below the lock is shared with the workers; names and the errors built from them stay
// on the caller's thread, because texts and arrays are counted without locks.
struct PipelineState {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE workReady;  // a worker may claim an entry, or must stop
    CONDITION_VARIABLE entryReady; // a worker finished an entry
    PipelineLimits limits;
    StrArray names;
    EntryArray entries; // record null for a name that the archive does not hold; read-only
    const ArchiveEntry* entryItems;
    int64_t count;
    Slot slots[MaxWindowEntries];
    int64_t taken;   // entries handed to the caller
    int64_t claimed; // entries that workers took up
    int64_t bytesAhead;
    int32_t entriesAhead;
    int64_t peakBytes;
    int32_t peakEntries;
    EntryHandler handler;  // for the entries unpacked from now on; handle null for none
    PatchBaseReader bases; // read null until the caller can supply the bases of patches
    int32_t idleWorkers;   // waiting on workReady: only then is a wake-up worth a call
    bool callerWaiting;    // the caller waits on entryReady
    bool stopping;
    HANDLE threads[MaxWorkers];
    int32_t threadCount;
};

PipelineLimits DefaultPipelineLimits()
{
    PipelineLimits limits;
    limits.workers = 0;
    limits.maxEntries = 32;
    limits.maxBytes = 32 << 20;
    return limits;
}

static int32_t ProcessorCount()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}

// Whether the next unclaimed entry fits in the window. The entry the caller waits for always does,
// so that one entry larger than the window still moves.
static bool CanClaim(const PipelineState& s)
{
    if (s.stopping || s.claimed >= s.count || s.claimed - s.taken >= s.limits.maxEntries)
        return false;
    if (!s.bases.read && NeedsBase(s.entryItems[s.claimed]))
        return false;
    return s.claimed == s.taken || s.bytesAhead + s.entryItems[s.claimed].size <= s.limits.maxBytes;
}

// Takes up the next entry under the lock: counted in the window until the caller takes it.
static int64_t Claim(PipelineState& s)
{
    int64_t index = s.claimed++;
    s.slots[index % MaxWindowEntries].status = SlotStatus::Working;
    s.bytesAhead += s.entryItems[index].size;
    s.entriesAhead++;
    if (s.bytesAhead > s.peakBytes)
        s.peakBytes = s.bytesAhead;
    if (s.entriesAhead > s.peakEntries)
        s.peakEntries = s.entriesAhead;
    return index;
}

// A patch is unpacked behind its base in one buffer (the base is the decoder's window), then moved
// to the front. A base that cannot be read, or that is not the one the patch applies to, fails it.
static SlotStatus UnpackPatchEntry(const PipelineState& s, int64_t index, ByteArray& bytes)
{
    const ArchiveEntry& entry = s.entryItems[index];
    PatchFields fields;
    if (!s.bases.read || !ReadPatchFields(entry, fields))
        return SlotStatus::Damaged;
    try {
        bytes.resizeForFilling(static_cast<int64_t>(fields.baseSize) + entry.size);
    } catch (...) {
        return SlotStatus::NoMemory;
    }
    if (!s.bases.read(s.bases.context, index, bytes.items(), fields.baseSize) ||
        UnpackPatch(entry, bytes.items() + fields.baseSize) != PatchCheck::Good)
        return SlotStatus::Damaged;
    bytes.remove(0, fields.baseSize);
    return SlotStatus::Good;
}

static SlotStatus Unpack(const PipelineState& s, int64_t index, ByteArray& bytes)
{
    const ArchiveEntry& entry = s.entryItems[index];
    if (!entry.record)
        return SlotStatus::Missing;
    if (!DeclaredSizeIsPlausible(entry))
        return SlotStatus::Damaged; // a claim no stored bytes could fill gets no memory
    if (NeedsBase(entry))
        return UnpackPatchEntry(s, index, bytes);
    try {
        bytes.resizeForFilling(entry.size); // unpacking writes every byte or fails
    } catch (...) {
        return SlotStatus::NoMemory;
    }
    return UnpackEntry(entry, bytes.items()) == EntryCheck::Good ? SlotStatus::Good : SlotStatus::Damaged;
}

static DWORD WINAPI WorkerMain(void* parameter)
{
    PipelineState& s = *static_cast<PipelineState*>(parameter);
    EnterCriticalSection(&s.lock);
    while (!s.stopping) {
        if (!CanClaim(s)) {
            s.idleWorkers++;
            SleepConditionVariableCS(&s.workReady, &s.lock, INFINITE);
            s.idleWorkers--;
            continue;
        }
        int64_t index = Claim(s);
        LeaveCriticalSection(&s.lock);

        ByteArray bytes;
        const ArchiveEntry& entry = s.entryItems[index];
        SlotStatus status = Unpack(s, index, bytes);
        EnterCriticalSection(&s.lock);
        EntryHandler handler = s.handler;
        LeaveCriticalSection(&s.lock);
        if (status == SlotStatus::Good && handler.handle &&
            handler.handle(handler.context, index, bytes.items(), bytes.length(), entry.time)) {
            bytes.release();
            status = SlotStatus::Handled;
        }

        EnterCriticalSection(&s.lock);
        Slot& slot = s.slots[index % MaxWindowEntries];
        slot.bytes = std::move(bytes);
        slot.status = status;
        // Only the entry the caller waits for is worth waking it (thousands of small ones finish).
        if (s.callerWaiting && index == s.taken)
            WakeConditionVariable(&s.entryReady);
    }
    LeaveCriticalSection(&s.lock);
    return 0;
}

EntryPipeline::EntryPipeline(const StrArray& names, const PipelineLimits& limits) : state(nullptr)
{
    void* block = AllocateZeroed(sizeof(PipelineState));
    PipelineState* s = new (block) PipelineState();
    InitializeCriticalSection(&s->lock);
    InitializeConditionVariable(&s->workReady);
    InitializeConditionVariable(&s->entryReady);
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
            ArchiveEntry& entry = s->entries.items()[i];
            entry = ArchiveEntry();
            const uint8_t* record = FindEntry(names.ref(i).text(), names.ref(i).length());
            if (record) {
                ArchiveWalk walk = StartWalk(record, Payload.base + Payload.length - record);
                NextEntry(walk, entry); // whole: it was found through the index
            }
        }
        s->entryItems = s->entries.items();
        for (int32_t i = 0; i < s->limits.workers; i++) {
            HANDLE thread =
                CreateThread(nullptr, WorkerStackSize, WorkerMain, s, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (!thread)
                ThrowLastError();
            s->threads[s->threadCount++] = thread;
        }
    } catch (...) {
        stop();
        DeleteCriticalSection(&s->lock);
        s->~PipelineState();
        FreeBlock(s);
        state = nullptr;
        throw;
    }
}

EntryPipeline::~EntryPipeline()
{
    stop();
    DeleteCriticalSection(&state->lock);
    state->~PipelineState();
    FreeBlock(state);
}

void EntryPipeline::stop()
{
    stopWithin(INFINITE);
}

bool EntryPipeline::stopWithin(uint32_t milliseconds)
{
    PipelineState& s = *state;
    EnterCriticalSection(&s.lock);
    s.stopping = true;
    WakeAllConditionVariable(&s.workReady);
    LeaveCriticalSection(&s.lock);
    // Each worker ends after the entry in hand.
    if (s.threadCount > 0 &&
        WaitForMultipleObjects(static_cast<DWORD>(s.threadCount), s.threads, TRUE, milliseconds) == WAIT_TIMEOUT)
        return false;
    for (int32_t i = 0; i < s.threadCount; i++)
        CloseHandle(s.threads[i]);
    s.threadCount = 0;
    for (Slot& slot : s.slots) {
        slot.bytes.release();
        slot.status = SlotStatus::Empty;
    }
    return true;
}

// Waits for the next entry under the lock (unpacking it here when no worker has it) and moves
// past it; false after the last entry.
static bool TakeNext(PipelineState& s, Slot& taken, int64_t& index)
{
    if (s.stopping || s.taken >= s.count)
        return false;
    index = s.taken;
    Slot& slot = s.slots[index % MaxWindowEntries];
    if (s.claimed == index) {
        // No worker has it yet (all busy, or none scheduled): unpacking it here costs no hand-over.
        Claim(s);
        LeaveCriticalSection(&s.lock);
        ByteArray bytes;
        SlotStatus status = Unpack(s, index, bytes);
        EnterCriticalSection(&s.lock);
        slot.bytes = std::move(bytes);
        slot.status = status;
    }
    while (slot.status == SlotStatus::Working) {
        s.callerWaiting = true;
        SleepConditionVariableCS(&s.entryReady, &s.lock, INFINITE);
        s.callerWaiting = false;
    }
    taken.bytes = std::move(slot.bytes);
    taken.status = slot.status;
    slot.status = SlotStatus::Empty;
    s.bytesAhead -= s.entryItems[index].size;
    s.entriesAhead--;
    s.taken++;
    if (s.idleWorkers > 0 && CanClaim(s))
        WakeConditionVariable(&s.workReady); // one place came free: one worker takes it
    return true;
}

ByteArray EntryPipeline::next(int64_t* handledSize)
{
    PipelineState& s = *state;
    Slot taken;
    int64_t index = 0;
    EnterCriticalSection(&s.lock);
    bool found = TakeNext(s, taken, index);
    LeaveCriticalSection(&s.lock);
    if (!found)
        throw IndexError();

    const ArchiveEntry& entry = s.entryItems[index];
    if (handledSize)
        *handledSize = -1;
    if (taken.status == SlotStatus::Missing)
        throw WinError(ERROR_FILE_NOT_FOUND, s.names.ref(index).text());
    LastEntryTime = entry.time;
    if (taken.status == SlotStatus::NoMemory)
        throw MemoryError();
    if (taken.status == SlotStatus::Damaged) {
        wchar_t small[260];
        CharBuffer large;
        throw CrcError(Str(RecordNameUnits(entry.record, small, large), entry.nameLength).text());
    }
    if (taken.status == SlotStatus::Handled) {
        if (!handledSize)
            throw InternalError(); // the caller set a handler and must ask for handled entries
        *handledSize = entry.size;
    }
    return std::move(taken.bytes);
}

void EntryPipeline::handleAhead(const EntryHandler* handler)
{
    EnterCriticalSection(&state->lock);
    state->handler = handler ? *handler : EntryHandler{nullptr, nullptr};
    LeaveCriticalSection(&state->lock);
}

void EntryPipeline::readBasesWith(const PatchBaseReader& reader)
{
    EnterCriticalSection(&state->lock);
    state->bases = reader;
    WakeAllConditionVariable(&state->workReady);
    LeaveCriticalSection(&state->lock);
}

bool EntryPipeline::waitReady(uint32_t milliseconds)
{
    PipelineState& s = *state;
    EnterCriticalSection(&s.lock);
    bool ready = true;
    if (!s.stopping && s.taken < s.count && (s.claimed > s.taken || s.threadCount > 0)) {
        Slot& slot = s.slots[s.taken % MaxWindowEntries];
        // Unclaimed, with workers about (they are waking up): one of them takes it, so that the
        // caller's thread, which answers the window, never unpacks a large entry itself.
        bool unclaimed = s.claimed == s.taken;
        if (unclaimed)
            WakeAllConditionVariable(&s.workReady);
        if (unclaimed || slot.status == SlotStatus::Working) {
            s.callerWaiting = true;
            SleepConditionVariableCS(&s.entryReady, &s.lock, milliseconds);
            s.callerWaiting = false;
        }
        ready = s.claimed > s.taken && slot.status != SlotStatus::Working;
    }
    LeaveCriticalSection(&s.lock);
    return ready;
}

int64_t EntryPipeline::position() const
{
    EnterCriticalSection(&state->lock);
    int64_t taken = state->taken;
    LeaveCriticalSection(&state->lock);
    return taken;
}

int64_t EntryPipeline::peakBytes() const
{
    EnterCriticalSection(&state->lock);
    int64_t peak = state->peakBytes;
    LeaveCriticalSection(&state->lock);
    return peak;
}

int32_t EntryPipeline::peakEntries() const
{
    EnterCriticalSection(&state->lock);
    int32_t peak = state->peakEntries;
    LeaveCriticalSection(&state->lock);
    return peak;
}
