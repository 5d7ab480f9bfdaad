// Decoding LZMA streams: the 5-byte properties header (one byte for lc, lp and pb, then the
// dictionary size as u32 little-endian) followed by raw LZMA1 range-coded data, with or without
// an end marker, into exactly its declared unpacked size.
//
// Two ways, one decoder. LzmaDecodeExact decodes a whole stream into a buffer of its size, which
// then serves as the sliding window (the memory needed does not depend on the dictionary size that
// the stream declares). An LzmaStream decodes in steps into a circular window of the caller's that
// holds the dictionary, so a consumer takes the output slice by slice and memory stays bounded by
// the dictionary however long the stream is. The input is always the whole stream, in memory.
// No allocation (the probability tables, about 28 KB, live in the caller's record); portable, no
// standard library, so that the installer, the packer and the fuzzers compile the very same rules.
#ifndef LUMIVO_ARCHIVE_LZMADECODER_H
#define LUMIVO_ARCHIVE_LZMADECODER_H

#include <stdint.h>

enum : int32_t {
    LzmaHeaderSize = 5,
    LzmaMaxLcPlusLp = 4, // what liblzma writes and reads; larger literal tables are refused
    LzmaMinDictionary = 4096,
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

typedef uint16_t LzmaProb; // probability of a 0 bit, in units of 1/2048

struct LzmaLengthProbs {
    LzmaProb choice;
    LzmaProb choice2;
    LzmaProb low[16 << 3];
    LzmaProb mid[16 << 3];
    LzmaProb high[1 << 8];
};

struct LzmaProbs {
    LzmaProb isMatch[12 * 16];
    LzmaProb isRep[12];
    LzmaProb isRepG0[12];
    LzmaProb isRepG1[12];
    LzmaProb isRepG2[12];
    LzmaProb isRep0Long[12 * 16];
    LzmaProb slot[4 << 6];
    LzmaProb modelledDistance[1 + 128 - 14];
    LzmaProb align[1 << 4];
    LzmaLengthProbs matchLength;
    LzmaLengthProbs repLength;
    LzmaProb literal[0x300 << LzmaMaxLcPlusLp];
};

enum class LzmaStatus {
    Running, // more output to come
    Done,    // size bytes decoded and the stream ended exactly there
    Failed,  // refused, as LzmaDecodeExact refuses; nothing more comes out
};

// One stream being decoded in steps. Plain data: the fields are the decoder's, not the caller's.
struct LzmaStream {
    const uint8_t* next; // input not yet read
    const uint8_t* end;
    uint32_t range;
    uint32_t code;
    bool overrun; // a byte was wanted past the end of the data
    uint8_t* window;
    uint32_t windowSize;
    uint32_t windowPos; // where the next byte goes, below windowSize
    uint32_t produced;  // bytes decoded so far
    uint32_t size;      // bytes the stream must decode to
    uint32_t dictionary;
    uint32_t rep0, rep1, rep2, rep3; // the last four distances, less one
    uint32_t pending;                // bytes of the last match not yet copied
    unsigned state;
    unsigned lc, lp, pb;
    LzmaStatus status;
    LzmaProbs probs;
};

// The dictionary size that a stream's header declares (at least 4 KiB), 0 when packed is too short
// to hold a header.
uint32_t LzmaDictionary(const uint8_t* packed, int32_t packedSize);
// The window that decoding size bytes with this dictionary needs: the smaller of the two.
uint32_t LzmaWindowFor(uint32_t dictionary, int32_t size);

// Starts decoding packed (the whole stream, which must outlive the decoding) into size bytes
// through window: windowSize bytes, at least LzmaWindowFor the stream's dictionary and size, or at
// least the bytes that will be decoded through it (a match reaching further back than the window
// fails the stream). Failed when the header or the range coder's first bytes are refused.
LzmaStatus LzmaStart(LzmaStream& stream, const uint8_t* packed, int32_t packedSize, int32_t size,
                     uint8_t* window, uint32_t windowSize);
// Decodes until produced reaches limit (at most size, and at most the room left before the end of
// the window: limit - produced <= windowSize - windowPos), so that the new bytes lie back to back
// at window + the windowPos before the call; windowPos then starts again at 0 once it reaches
// windowSize. Done only when limit is size and the stream ends there.
LzmaStatus LzmaDecodeTo(LzmaStream& stream, uint32_t limit);
// Carries on in another window of windowSize bytes (the same rule as for LzmaStart): the last
// bytes decoded, as many as fit, are copied over, ending just before the new windowPos.
void LzmaMoveWindow(LzmaStream& stream, uint8_t* window, uint32_t windowSize);

#endif
