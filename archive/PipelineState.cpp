#include "archive/PipelineState.h"

#include "archive/UpdateFormat.h"

// What an entry counts against the window: the most of its bytes it holds at once.
int64_t Charge(const EntryLocation& location)
{
    const ArchiveEntry& entry = location.entry;
    int64_t whole = WholeBufferSize(entry, SliceSize);
    if (whole > 0)
        return whole;
    return entry.size < EntryQueueLimit ? entry.size : EntryQueueLimit;
}

// Slices, under the lock. A slice is made once and then recycled.
Slice* TakeSlice(PipelineState& s)
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

void GiveBack(PipelineState& s, Slice*& slice)
{
    if (!slice)
        return;
    slice->next = s.freeSlices;
    s.freeSlices = slice;
    slice = nullptr;
}

void FreeQueue(PipelineState& s, Slot& slot)
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
bool WindowHasRoom(const PipelineState& s)
{
    if (s.stopping || s.claimed >= s.count || s.claimed - s.taken >= s.limits.maxEntries ||
        s.slots[s.claimed % MaxWindowEntries].status != SlotStatus::Empty)
        return false;
    if (!s.bases.read && NeedsBase(s.entryItems[s.claimed].entry))
        return false;
    return s.claimed == s.taken || s.bytesAhead + Charge(s.entryItems[s.claimed]) <= s.limits.maxBytes;
}

// The run decoded ahead that holds index, or -1.
int32_t AheadRunOf(const PipelineState& s, int64_t index)
{
    for (int32_t i = 0; i < s.aheadCount; i++)
        if (index >= s.aheadRuns[i].next && index < s.aheadRuns[i].end)
            return i;
    return -1;
}

// Whether any worker may claim the next entry: not one that a block's worker will claim.
bool CanClaim(const PipelineState& s)
{
    return s.claimed >= s.reservedEnd && WindowHasRoom(s) && AheadRunOf(s, s.claimed) < 0;
}

// The entries written ahead of the window that it reaches: claimed as handled at once.
static void ClaimHandledAhead(PipelineState& s)
{
    bool claimed = false;
    while (s.claimed < s.count && s.handledAheadItems[s.claimed] && s.claimed >= s.reservedEnd &&
           s.claimed - s.taken < s.limits.maxEntries &&
           s.slots[s.claimed % MaxWindowEntries].status == SlotStatus::Empty) {
        int64_t index = Claim(s);
        s.slots[index % MaxWindowEntries].status = SlotStatus::Handled;
        s.slots[index % MaxWindowEntries].released = true;
        s.bytesAhead -= Charge(s.entryItems[index]);
        claimed = true;
    }
    if (claimed)
        WakeCaller(s);
}

void WakeWorker(PipelineState& s)
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
int64_t Claim(PipelineState& s)
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

void WakeCaller(PipelineState& s)
{
    if (s.callerWaiting)
        WakeConditionVariable(&s.entryReady);
}

// The caller's entry gives up its slot: the queue goes, and a worker still filling it stops and
// empties it.
void Detach(PipelineState& s, int64_t index)
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
