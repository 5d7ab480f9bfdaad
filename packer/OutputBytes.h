// The bytes of a file being built, as a list of pieces: small ones owned here, large ones (the
// packed entries, the stub's sections) borrowed from buffers that outlive the list, so that a
// setup program of a gigabyte is never copied into one block before it is written.
#ifndef LUMIVO_PACKER_OUTPUTBYTES_H
#define LUMIVO_PACKER_OUTPUTBYTES_H

#include <stddef.h>
#include <stdint.h>
#include <vector>

struct BytePiece {
    const uint8_t* data;
    size_t size;
};

struct OutputBytes {
    std::vector<BytePiece> pieces;
    std::vector<std::vector<uint8_t>> owned; // moving a vector keeps its buffer where it is
    uint64_t size = 0;

    OutputBytes() = default;
    // Copies would point into the original's blocks: only moves.
    OutputBytes(const OutputBytes&) = delete;
    OutputBytes& operator=(const OutputBytes&) = delete;
    OutputBytes(OutputBytes&&) = default;
    OutputBytes& operator=(OutputBytes&&) = default;

    // Appends bytes that must stay valid and unchanged while this list is used.
    void borrow(const uint8_t* data, size_t length);
    // Appends a block that this list keeps; the returned pointer stays valid.
    uint8_t* own(std::vector<uint8_t> block);
    void zeros(size_t count);
    // Appends another list, taking over what it owns.
    void append(OutputBytes&& other);
    // Appends another list's bytes, which must outlive this list.
    void borrowAll(const OutputBytes& other);
    // Zeros up to the next multiple of alignment (a power of two).
    void alignTo(uint64_t alignment);
    // The bytes joined into one block (tests and small images).
    std::vector<uint8_t> joined() const;
};

uint64_t AlignUp(uint64_t value, uint64_t alignment);

#endif
