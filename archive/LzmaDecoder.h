// Decoding one LZMA stream into a buffer of exactly its unpacked size. The stream is the 5-byte
// properties header (one byte for lc, lp and pb, then the dictionary size as u32 little-endian)
// followed by raw LZMA1 range-coded data, with or without an end marker.
//
// The whole output is in memory, so the output buffer itself serves as the sliding window: the
// memory needed does not depend on the dictionary size that the stream declares. No allocation:
// the probability tables (about 28 KB) live on the caller's stack. Portable, no standard library,
// so that the installer, the packer's tests and the fuzzer compile the very same rules.
#ifndef LUMIVO_ARCHIVE_LZMADECODER_H
#define LUMIVO_ARCHIVE_LZMADECODER_H

#include <stdint.h>

enum : int32_t {
    LzmaHeaderSize = 5,
    LzmaMaxLcPlusLp = 4, // what liblzma writes and reads; larger literal tables are refused
};

// True when the stream decodes to exactly size bytes and ends there: either its data ends (the
// range coder finishes cleanly on the last byte) or an end marker follows the last byte and the
// data ends after it. Anything else is refused: a properties byte above 224, lc + lp above 4, a
// range coder that does not start with a zero byte, a distance before the start of the output or
// beyond the dictionary, a literal or match past size, an end marker before size, data that runs
// out or is left over. Never reads outside packed[0, packedSize) nor writes outside out[0, size);
// the work is bounded by size (every step writes at least one byte or ends the decoding).
bool LzmaDecodeExact(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size);

// The same with a preset dictionary, as liblzma's preset_dict: the presetSize bytes just before
// out (out[-presetSize] to out[-1]) are in the window before the first byte is decoded, so that
// matches may copy from them, as far back as the dictionary reaches (of a preset longer than the
// dictionary only the tail counts, as in liblzma). The preset is only read.
bool LzmaDecodeWithPreset(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size,
                          int32_t presetSize);

#endif
