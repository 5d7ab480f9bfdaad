// Entries read ahead: worker threads check and unpack the entries of a list while the caller writes
// earlier ones, within a bounded window, and hand them out strictly in list order. An entry's bytes
// come in slices through a few buffers recycled from entry to entry, so memory stays the same
// however large the files: a worker either writes the entry out itself as it unpacks it (a handler,
// below), or queues its slices for the caller, a few megabytes ahead of it. Stored entries are not
// queued: the caller writes their bytes from the archive.
//
// Each entry reads, and fails, as ReadEntry would at the point where the caller takes it: WinError
// 2 with the requested name when it is missing, CrcError with the record's name when it is damaged
// (when only its stream's end is wrong, at the piece where that shows).
//
// Whatever produces an entry's slices (one record's stream, or a solid block holding several
// files) feeds the same queue, and the caller reads every entry alike. One worker decodes a solid
// block from file to file, claiming its files one after the other as the window has room; small
// files it queues whole, and idle workers write them ahead from the queue. With a handler, an idle
// worker also decodes a later block from its start, beyond the window, and has the handler write
// its files, so that blocks decode side by side: it stops at the first file that the handler
// leaves (keeping its decoder there) and goes on from it as the window's worker once the window
// reaches it. One worker always stays for the window.
#ifndef LUMIVO_ARCHIVE_ENTRYPIPELINE_H
#define LUMIVO_ARCHIVE_ENTRYPIPELINE_H

#include "archive/ByteSource.h"
#include "archive/EntryReader.h"
#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

enum : int32_t {
    SliceSize = 256 << 10,   // one recycled buffer: small enough to stay in the processor's cache
    EntryQueueLimit = 2 << 20, // how far a worker unpacks ahead of the caller within one entry
};

// How far the workers may run ahead of the caller.
struct PipelineLimits {
    int32_t workers;    // 0: one per processor
    int32_t maxEntries; // entries unpacked or being unpacked and not yet taken (1 to 64)
    // What the entries not yet taken may hold: each counts its size, at most EntryQueueLimit (runs
    // and LZMA larger than a slice, which are unpacked whole, count all of it). The next entry is
    // unpacked whatever it counts.
    int64_t maxBytes;
};
PipelineLimits DefaultPipelineLimits();

// Something done with an entry on the worker that unpacks it, before the caller takes it (writing
// it out ahead, say): called with the entry's index in the list, its size and time, its bytes as
// they are unpacked, and whether the entry lies beyond the window (a later block decoded ahead:
// the caller is far from it), in no particular order and on several threads at once. True when
// it dealt with the entry: the caller then takes it as handled. A handler that reads from the
// source and then returns false (it failed midway) leaves the entry to be read again by the
// caller; so does one whose source raises, as it does when the pipeline stops.
struct EntryHandler {
    bool (*handle)(void* context, int64_t index, int64_t size, uint64_t time, const ByteSource& bytes,
                   bool beyondWindow);
    void* context;
};

// An entry that the caller took: its size and time, and whether a handler dealt with it.
struct TakenEntry {
    int64_t size;
    uint64_t time;
    bool handled;
};

struct PipelineState;

// Reads the entries named by names (in the archive in use, which must outlive the pipeline).
// Not copyable; destroying it stops it: workers finish the slice in hand, nothing is left behind.
class EntryPipeline {
public:
    explicit EntryPipeline(const StrArray& names, const PipelineLimits& limits = DefaultPipelineLimits());
    EntryPipeline(const EntryPipeline&) = delete;
    EntryPipeline& operator=(const EntryPipeline&) = delete;
    ~EntryPipeline();

    // Moves to the next entry of the list, waiting until a worker has begun it, and sets
    // LastEntryTime. Raises that entry's error (the list moves past it either way); IndexError
    // after the last. Unless a handler dealt with it, its bytes then come from source().
    TakenEntry take();
    // The bytes of the entry taken last, piece by piece; rewind reads them again from the archive
    // (on this thread: for another try at writing them). A piece waits for its worker: ask
    // pieceReady first where waiting must not block.
    ByteSource source();
    // Waits up to milliseconds for the next piece of the entry taken last; true when source's next
    // will not wait.
    bool pieceReady(uint32_t milliseconds);

    // take, then every byte of the entry in one array (tests, the benchmark, small texts). When a
    // handler dealt with the entry, handledSize receives its size and the array is empty (otherwise
    // -1); without handledSize such an entry raises InternalError.
    ByteArray next(int64_t* handledSize = nullptr);
    // Entries that a worker begins from now on go to handler (null: none); the handler must
    // outlive the workers' use of it (stop, or the last entry taken).
    void handleAhead(const EntryHandler* handler);
    // Patch entries are unpacked with their bases read by reader (indexes in the list), which must
    // outlive the workers' use of it; until it is given, no worker takes up a patch entry (nor any
    // entry after it), and one that the caller reaches is damaged.
    void readBasesWith(const PatchBaseReader& reader);

    // Waits up to milliseconds for a worker to begin the next entry; true when take will not wait
    // (also after the last entry).
    bool waitReady(uint32_t milliseconds);
    // Index in the list of the entry that take moves to.
    int64_t position() const;
    // Stops the workers and frees what they unpacked ahead (also done by the destructor).
    void stop();
    // stop, waiting up to milliseconds for the workers; false when one is still at work (ask again).
    bool stopWithin(uint32_t milliseconds);

    // The most that the entries not yet taken ever counted at once, and the most such entries; the
    // most memory that slices ever took (for tests and the benchmark).
    int64_t peakBytes() const;
    int32_t peakEntries() const;
    int64_t peakSliceBytes() const;

private:
    PipelineState* state;
};

#endif
