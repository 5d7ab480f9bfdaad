// Entries read ahead: worker threads (one per processor) check and unpack the entries of a list
// while the caller writes earlier ones, within a bounded window, and hand them out strictly in
// list order. Each entry reads, and fails, as ReadEntry would at the point where the caller
// takes it: WinError 2 with the requested name when it is missing, CrcError with the record's
// name when it is damaged.
#ifndef LUMIVO_ARCHIVE_ENTRYPIPELINE_H
#define LUMIVO_ARCHIVE_ENTRYPIPELINE_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

// How far the workers may run ahead of the caller.
struct PipelineLimits {
    int32_t workers;    // 0: one per processor
    int32_t maxEntries; // entries unpacked or being unpacked and not yet taken (1 to 64)
    int64_t maxBytes;   // their unpacked sizes added up; the next entry is unpacked whatever its size
};
PipelineLimits DefaultPipelineLimits();

// Something done with an entry on the worker that unpacked it, before the caller takes it (writing
// it out ahead, say): called with the entry's index in the list, its verified bytes and its time,
// in no particular order and on several threads at once. True when it dealt with the entry: its
// bytes are dropped then, and the caller takes it with takeHandled.
struct EntryHandler {
    bool (*handle)(void* context, int64_t index, const uint8_t* bytes, int64_t count, uint64_t time);
    void* context;
};

// The base of a patch entry (archive/UpdateFormat.h) for the worker that unpacks it: fills count
// bytes at into with the file that the entry of that index patches. False when that file cannot be
// read or has another size; the entry then fails as damaged. Called on several threads at once.
struct PatchBaseReader {
    bool (*read)(void* context, int64_t index, uint8_t* into, int64_t count);
    void* context;
};

struct PipelineState;

// Reads the entries named by names (in the archive in use, which must outlive the pipeline).
// Not copyable; destroying it stops it: workers finish the entry in hand, nothing is left behind.
class EntryPipeline {
public:
    explicit EntryPipeline(const StrArray& names, const PipelineLimits& limits = DefaultPipelineLimits());
    EntryPipeline(const EntryPipeline&) = delete;
    EntryPipeline& operator=(const EntryPipeline&) = delete;
    ~EntryPipeline();

    // The bytes of the next entry of the list, waiting for them when needed; sets LastEntryTime.
    // Raises that entry's error (the list moves past it either way). IndexError after the last.
    // When a handler dealt with the entry, handledSize receives its size and the array is empty
    // (otherwise -1); without handledSize such an entry raises InternalError.
    ByteArray next(int64_t* handledSize = nullptr);
    // Entries that a worker finishes unpacking from now on go to handler (null: none); the
    // handler must outlive the workers' use of it (stop, or the last entry taken).
    void handleAhead(const EntryHandler* handler);
    // Patch entries are unpacked with their bases read by reader, which must outlive the workers'
    // use of it; until it is given, no worker takes up a patch entry (nor any entry after it).
    void readBasesWith(const PatchBaseReader& reader);

    // Waits up to milliseconds for the next entry to be unpacked; true when next will not wait for a
    // worker (also after the last entry). Without workers, next unpacks the entry itself.
    bool waitReady(uint32_t milliseconds);
    // Index in the list of the entry that next returns.
    int64_t position() const;
    // Stops the workers and frees what they unpacked ahead (also done by the destructor).
    void stop();
    // stop, waiting up to milliseconds for the workers; false when one is still at work (ask again).
    bool stopWithin(uint32_t milliseconds);

    // The most bytes that were ever unpacked ahead at once, and the most entries (for tests and
    // the benchmark).
    int64_t peakBytes() const;
    int32_t peakEntries() const;

private:
    PipelineState* state;
};

#endif
