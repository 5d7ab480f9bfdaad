// One zlib stream made of slices compressed apart, so that a large file is compressed on several
// threads and still makes one stream that any zlib reader, the installer included, reads unchanged.
//
// Each slice is a raw deflate stream of its own, made by libdeflate and ended on a byte boundary:
// the final bit of its last block is cleared and, where that block ends inside a byte, an empty
// stored block (00 00 FF FF, what zlib's sync flush writes) fills the byte. The slices in order,
// behind a zlib header and followed by the Adler-32 of the whole file, are the stream. libdeflate
// takes no preset dictionary, so no slice refers back into the one before it: with slices of 1 MiB
// that costs about 0.2 % on programs, less than zlib's own sync flush with a dictionary costs.
#ifndef LUMIVO_PACKER_SLICEDDEFLATE_H
#define LUMIVO_PACKER_SLICEDDEFLATE_H

#include <stddef.h>
#include <stdint.h>
#include <vector>

struct libdeflate_compressor;

enum : size_t {
    DeflateSliceSize = 1 << 20, // a slice of a sliced file
    SliceFilesAbove = 4 << 20,  // files larger than this are sliced
};

// How many slices of sliceSize bytes a file of size bytes is cut into (one for an empty file).
size_t SliceCount(size_t size, size_t sliceSize);

// The raw deflate bytes of one slice of size bytes. Unless last, they end on a byte boundary with
// no final block, ready for the next slice to follow.
std::vector<uint8_t> DeflateSlice(libdeflate_compressor* compressor, const uint8_t* bytes, size_t size, bool last);

// The zlib stream of a file whose slices, in order, are given: header, slices, the Adler-32 of
// the file's size bytes.
std::vector<uint8_t> JoinSlices(const std::vector<std::vector<uint8_t>>& slices, const uint8_t* bytes, size_t size);

// The whole zlib stream of a file cut into slices of sliceSize, compressed one after another.
std::vector<uint8_t> DeflateSliced(libdeflate_compressor* compressor, const uint8_t* bytes, size_t size,
                                   size_t sliceSize);

#endif
