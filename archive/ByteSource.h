// Bytes that arrive in pieces: an entry being unpacked, or a block already in memory. Whoever
// writes them takes one piece at a time, so that a file is written as its bytes are unpacked
// and no piece outlives the next call.
#ifndef LUMIVO_ARCHIVE_BYTESOURCE_H
#define LUMIVO_ARCHIVE_BYTESOURCE_H

#include <stdint.h>

struct ByteSource {
    // The next piece in bytes and count (valid until the next call), false after the last one.
    // Raises when the bytes cannot be had (a damaged entry: CrcError).
    bool (*next)(void* context, const uint8_t** bytes, int64_t* count);
    // Starts again from the first byte, for another try at writing them (null: cannot).
    void (*rewind)(void* context);
    void* context;
};

// A block in memory as one piece. The record holds the position: keep it alive while reading.
struct MemorySource {
    const uint8_t* bytes;
    int64_t count;
    bool given;
};
ByteSource SourceOf(MemorySource& memory);

#endif
