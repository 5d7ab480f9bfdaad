// The read-ahead pipeline's shared state (EntryPipeline.h): the window of entries that the
// workers claim and the caller takes, the slices recycled between them, and the runs of solid
// blocks. The caller's side (EntryPipeline.cpp) and the workers' (PipelineWorkers.cpp) both work
// on it under its lock; nothing outside the pipeline includes this.
#ifndef LUMIVO_ARCHIVE_PIPELINESTATE_H
#define LUMIVO_ARCHIVE_PIPELINESTATE_H

#include "archive/ArchiveIndex.h"
#include "archive/EntryPipeline.h"
#include "archive/EntryReader.h"

#include <windows.h>

enum : int32_t { MaxWindowEntries = 64, MaxWorkers = 64, SliceHeader = 64 };
// A worker's stack: the LZMA decoder keeps its probability tables (about 28 KB) there.
enum : uint32_t { WorkerStackSize = 256 << 10 };

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

// The functions below are called under the lock.

// What an entry counts against the window: the most of its bytes it holds at once.
int64_t Charge(const EntryLocation& location);
// A slice, made once and then recycled; null when none can be had.
Slice* TakeSlice(PipelineState& s);
void GiveBack(PipelineState& s, Slice*& slice);
void FreeQueue(PipelineState& s, Slot& slot);
// Whether the next unclaimed entry fits in the window.
bool WindowHasRoom(const PipelineState& s);
// The run decoded ahead that holds index, or -1.
int32_t AheadRunOf(const PipelineState& s, int64_t index);
// Whether any worker may claim the next entry: not one that a block's worker will claim.
bool CanClaim(const PipelineState& s);
// Takes up the next entry: counted in the window until the caller takes it.
int64_t Claim(PipelineState& s);
void WakeCaller(PipelineState& s);
// Claims what was written ahead and the window reaches, and wakes the worker that may go on.
void WakeWorker(PipelineState& s);
// The caller's entry gives up its slot.
void Detach(PipelineState& s, int64_t index);

// A worker thread's body, called without the lock; parameter is the PipelineState.
DWORD WINAPI PipelineWorker(void* parameter);

#endif
