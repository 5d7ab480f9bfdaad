#include "archive/LzmaDecoder.h"

#include <string.h>

namespace {

enum : uint32_t {
    ProbBits = 11,
    ProbOne = 1u << ProbBits,
    ProbMoveBits = 5,
    RangeTop = 1u << 24,
    EndMarkerDistance = 0xFFFFFFFF,
};

enum : unsigned {
    StateCount = 12,
    LiteralStates = 7, // states below this follow a literal
    PosStatesMax = 1 << 4,
    LengthLowBits = 3,
    LengthMidBits = 3,
    LengthHighBits = 8,
    MatchMinLength = 2,
    DistanceStates = 4,
    SlotBits = 6,
    FirstModelSlot = 4,
    FirstDirectSlot = 14,
    ModelledDistances = 1 << (FirstDirectSlot / 2), // distances below this are coded with models only
    AlignBits = 4,
    LiteralCoderSize = 0x300,
};

static_assert(sizeof(LzmaLengthProbs::low) == sizeof(LzmaProb) * (PosStatesMax << LengthLowBits) &&
                  sizeof(LzmaLengthProbs::high) == sizeof(LzmaProb) * (1 << LengthHighBits) &&
                  sizeof(LzmaProbs::isMatch) == sizeof(LzmaProb) * StateCount * PosStatesMax &&
                  sizeof(LzmaProbs::slot) == sizeof(LzmaProb) * (DistanceStates << SlotBits) &&
                  sizeof(LzmaProbs::modelledDistance) ==
                      sizeof(LzmaProb) * (1 + ModelledDistances - FirstDirectSlot) &&
                  sizeof(LzmaProbs::literal) == sizeof(LzmaProb) * (LiteralCoderSize << LzmaMaxLcPlusLp),
              "the tables of the header are the coder's");

template<typename Table> void Reset(Table& table, uint32_t count = sizeof(Table) / sizeof(LzmaProb))
{
    LzmaProb* probs = reinterpret_cast<LzmaProb*>(&table);
    for (uint32_t i = 0; i < count; i++)
        probs[i] = ProbOne / 2;
}

void Reset(LzmaLengthProbs& length)
{
    length.choice = length.choice2 = ProbOne / 2;
    Reset(length.low);
    Reset(length.mid);
    Reset(length.high);
}

// A byte wanted past the end of the data does not stop the coder at once: zeros are shifted in
// and the flag makes the decoding fail at its next step.
struct RangeDecoder {
    const uint8_t* next;
    const uint8_t* end;
    uint32_t range;
    uint32_t code;
    bool overrun;
};

inline void Normalize(RangeDecoder& coder)
{
    if (coder.range < RangeTop) {
        coder.range <<= 8;
        coder.code <<= 8;
        if (coder.next != coder.end)
            coder.code |= *coder.next++;
        else
            coder.overrun = true;
    }
}

inline unsigned DecodeBit(RangeDecoder& coder, LzmaProb& prob)
{
    uint32_t bound = (coder.range >> ProbBits) * prob;
    unsigned bit;
    if (coder.code < bound) {
        coder.range = bound;
        prob = static_cast<LzmaProb>(prob + ((ProbOne - prob) >> ProbMoveBits));
        bit = 0;
    } else {
        coder.range -= bound;
        coder.code -= bound;
        prob = static_cast<LzmaProb>(prob - (prob >> ProbMoveBits));
        bit = 1;
    }
    Normalize(coder);
    return bit;
}

// Bits of equal probability, most significant first.
inline uint32_t DecodeDirectBits(RangeDecoder& coder, unsigned count)
{
    uint32_t value = 0;
    while (count-- > 0) {
        coder.range >>= 1;
        uint32_t bit = coder.code >= coder.range;
        if (bit)
            coder.code -= coder.range;
        value = value << 1 | bit;
        Normalize(coder);
    }
    return value;
}

// A symbol of count bits coded with a binary tree of probabilities, most significant bit first.
inline unsigned DecodeTree(RangeDecoder& coder, LzmaProb* probs, unsigned count)
{
    unsigned node = 1;
    for (unsigned i = 0; i < count; i++)
        node = node << 1 | DecodeBit(coder, probs[node]);
    return node - (1u << count);
}

// The same with the least significant bit first.
inline unsigned DecodeReverseTree(RangeDecoder& coder, LzmaProb* probs, unsigned count)
{
    unsigned node = 1, symbol = 0;
    for (unsigned i = 0; i < count; i++) {
        unsigned bit = DecodeBit(coder, probs[node]);
        node = node << 1 | bit;
        symbol |= bit << i;
    }
    return symbol;
}

// A match length less the minimum length: 0 to 271.
inline unsigned DecodeLength(RangeDecoder& coder, LzmaLengthProbs& probs, unsigned posState)
{
    if (!DecodeBit(coder, probs.choice))
        return DecodeTree(coder, probs.low + (posState << LengthLowBits), LengthLowBits);
    if (!DecodeBit(coder, probs.choice2))
        return (1 << LengthLowBits) +
               DecodeTree(coder, probs.mid + (posState << LengthMidBits), LengthMidBits);
    return (1 << LengthLowBits) + (1 << LengthMidBits) + DecodeTree(coder, probs.high, LengthHighBits);
}

// A match distance less one; the slot's model depends on the length (less the minimum).
inline uint32_t DecodeDistance(RangeDecoder& coder, LzmaProbs& probs, unsigned length)
{
    unsigned lengthState = length < DistanceStates - 1 ? length : DistanceStates - 1;
    unsigned slot = DecodeTree(coder, probs.slot + (lengthState << SlotBits), SlotBits);
    if (slot < FirstModelSlot)
        return slot;
    unsigned lowBits = (slot >> 1) - 1;
    uint32_t distance = (2 | (slot & 1)) << lowBits;
    if (slot < FirstDirectSlot)
        return distance + DecodeReverseTree(coder, probs.modelledDistance + distance - slot, lowBits);
    distance += DecodeDirectBits(coder, lowBits - AlignBits) << AlignBits;
    return distance + DecodeReverseTree(coder, probs.align, AlignBits);
}

inline unsigned DecodeLiteral(RangeDecoder& coder, LzmaProb* probs, bool afterMatch, unsigned matchByte)
{
    unsigned symbol = 1;
    // After a match the byte at the last distance predicts the literal, bit by bit, until the
    // first bit that differs.
    if (afterMatch) {
        do {
            unsigned matchBit = (matchByte >> 7) & 1;
            matchByte <<= 1;
            unsigned bit = DecodeBit(coder, probs[((1 + matchBit) << 8) + symbol]);
            symbol = symbol << 1 | bit;
            if (bit != matchBit)
                break;
        } while (symbol < 0x100);
    }
    while (symbol < 0x100)
        symbol = symbol << 1 | DecodeBit(coder, probs[symbol]);
    return symbol & 0xFF;
}

inline unsigned StateAfterLiteral(unsigned state)
{
    return state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
}


// The byte distance + 1 back from windowPos in a circular window.
inline uint32_t BackFrom(uint32_t windowPos, uint32_t distance, uint32_t windowSize)
{
    return windowPos >= distance ? windowPos - distance : windowPos + windowSize - distance;
}

// Copies length bytes from distance + 1 back to windowPos, which has room for them; a match may
// overlap the bytes that it produces, so byte by byte.
inline void CopyMatch(uint8_t* window, uint32_t windowSize, uint32_t windowPos, uint32_t rep0, uint32_t length)
{
    uint8_t* to = window + windowPos;
    uint32_t from = BackFrom(windowPos, rep0 + 1, windowSize);
    if (from + length <= windowSize) {
        const uint8_t* source = window + from;
        for (uint32_t i = 0; i < length; i++)
            to[i] = source[i];
        return;
    }
    for (uint32_t i = 0; i < length; i++) {
        to[i] = window[from];
        if (++from == windowSize)
            from = 0;
    }
}

// After the last byte: the data ends there with the coder finished, or an end marker follows and
// then the data ends.
LzmaStatus Finish(LzmaStream& s, RangeDecoder& coder)
{
    if (coder.overrun)
        return LzmaStatus::Failed;
    if (coder.next == coder.end)
        return coder.code == 0 ? LzmaStatus::Done : LzmaStatus::Failed;
    unsigned posState = s.produced & ((1u << s.pb) - 1);
    if (!DecodeBit(coder, s.probs.isMatch[s.state * PosStatesMax + posState]) || DecodeBit(coder, s.probs.isRep[s.state]))
        return LzmaStatus::Failed; // a literal or a repeated match past the size
    unsigned length = DecodeLength(coder, s.probs.matchLength, posState);
    bool marker = DecodeDistance(coder, s.probs, length) == EndMarkerDistance;
    return marker && !coder.overrun && coder.next == coder.end && coder.code == 0 ? LzmaStatus::Done
                                                                                   : LzmaStatus::Failed;
}

} // namespace

uint32_t LzmaDictionary(const uint8_t* packed, int32_t packedSize)
{
    if (!packed || packedSize < LzmaHeaderSize)
        return 0;
    uint32_t dictionary = static_cast<uint32_t>(packed[1]) | static_cast<uint32_t>(packed[2]) << 8 |
                          static_cast<uint32_t>(packed[3]) << 16 | static_cast<uint32_t>(packed[4]) << 24;
    return dictionary < static_cast<uint32_t>(LzmaMinDictionary) ? static_cast<uint32_t>(LzmaMinDictionary) : dictionary;
}

uint32_t LzmaWindowFor(uint32_t dictionary, int32_t size)
{
    uint32_t output = size > 0 ? static_cast<uint32_t>(size) : 0;
    return dictionary < output ? dictionary : output;
}

LzmaStatus LzmaStart(LzmaStream& s, const uint8_t* packed, int32_t packedSize, int32_t size, uint8_t* window,
                     uint32_t windowSize)
{
    s.status = LzmaStatus::Failed;
    // The header, then the range coder's first five bytes: a zero and the initial code.
    if (!packed || packedSize < LzmaHeaderSize + 5 || size < 0 || (size > 0 && (!window || windowSize == 0)))
        return s.status;
    unsigned properties = packed[0];
    if (properties >= 9 * 5 * 5)
        return s.status;
    s.lc = properties % 9;
    s.lp = properties / 9 % 5;
    s.pb = properties / 45;
    if (s.lc + s.lp > LzmaMaxLcPlusLp || packed[LzmaHeaderSize] != 0)
        return s.status;
    s.dictionary = LzmaDictionary(packed, packedSize);
    s.next = packed + LzmaHeaderSize + 5;
    s.end = packed + packedSize;
    s.range = 0xFFFFFFFF;
    s.code = 0;
    for (int i = 1; i < 5; i++)
        s.code = s.code << 8 | packed[LzmaHeaderSize + i];
    s.overrun = false;
    if (s.code == s.range)
        return s.status;

    s.window = window;
    s.windowSize = windowSize;
    s.windowPos = 0;
    s.produced = 0;
    s.size = static_cast<uint32_t>(size);
    s.rep0 = s.rep1 = s.rep2 = s.rep3 = 0;
    s.pending = 0;
    s.state = 0;
    LzmaProbs& probs = s.probs;
    Reset(probs.isMatch);
    Reset(probs.isRep);
    Reset(probs.isRepG0);
    Reset(probs.isRepG1);
    Reset(probs.isRepG2);
    Reset(probs.isRep0Long);
    Reset(probs.slot);
    Reset(probs.modelledDistance);
    Reset(probs.align);
    Reset(probs.matchLength);
    Reset(probs.repLength);
    Reset(probs.literal, LiteralCoderSize << (s.lc + s.lp));
    s.status = LzmaStatus::Running;
    return s.status;
}

LzmaStatus LzmaDecodeTo(LzmaStream& s, uint32_t limit)
{
    if (s.status != LzmaStatus::Running)
        return s.status;
    if (limit > s.size || limit < s.produced || limit - s.produced > s.windowSize - s.windowPos) {
        s.status = LzmaStatus::Failed; // the caller's mistake; never write outside the window
        return s.status;
    }
    // The hot state in locals: writes to the window may alias anything the record holds.
    RangeDecoder coder = {s.next, s.end, s.range, s.code, s.overrun};
    uint8_t* const window = s.window;
    const uint32_t windowSize = s.windowSize, dictionary = s.dictionary, lc = s.lc;
    const uint32_t posMask = (1u << s.pb) - 1, literalPosMask = (1u << s.lp) - 1;
    uint32_t windowPos = s.windowPos, produced = s.produced;
    uint32_t rep0 = s.rep0, rep1 = s.rep1, rep2 = s.rep2, rep3 = s.rep3;
    unsigned state = s.state;
    LzmaProbs& probs = s.probs;
    LzmaStatus status = LzmaStatus::Running;

    // The rest of a match that the previous limit cut.
    if (s.pending > 0) {
        uint32_t length = s.pending < limit - produced ? s.pending : limit - produced;
        CopyMatch(window, windowSize, windowPos, rep0, length);
        windowPos += length;
        produced += length;
        s.pending -= length;
    }
    while (produced < limit) {
        if (coder.overrun) {
            status = LzmaStatus::Failed;
            break;
        }
        unsigned posState = produced & posMask;

        if (!DecodeBit(coder, probs.isMatch[state * PosStatesMax + posState])) {
            unsigned previous = produced > 0 ? window[windowPos > 0 ? windowPos - 1 : windowSize - 1] : 0;
            LzmaProb* literal =
                probs.literal + LiteralCoderSize * (((produced & literalPosMask) << lc) + (previous >> (8 - lc)));
            bool afterMatch = state >= LiteralStates;
            unsigned matchByte = afterMatch ? window[BackFrom(windowPos, rep0 + 1, windowSize)] : 0;
            window[windowPos++] = static_cast<uint8_t>(DecodeLiteral(coder, literal, afterMatch, matchByte));
            produced++;
            state = StateAfterLiteral(state);
            continue;
        }

        unsigned length;
        if (DecodeBit(coder, probs.isRep[state])) {
            if (produced == 0) {
                status = LzmaStatus::Failed; // nothing to repeat yet
                break;
            }
            if (!DecodeBit(coder, probs.isRepG0[state])) {
                if (!DecodeBit(coder, probs.isRep0Long[state * PosStatesMax + posState])) {
                    // One byte at the last distance.
                    window[windowPos] = window[BackFrom(windowPos, rep0 + 1, windowSize)];
                    windowPos++;
                    produced++;
                    state = state < LiteralStates ? 9 : 11;
                    continue;
                }
            } else {
                uint32_t distance;
                if (!DecodeBit(coder, probs.isRepG1[state])) {
                    distance = rep1;
                } else {
                    if (!DecodeBit(coder, probs.isRepG2[state])) {
                        distance = rep2;
                    } else {
                        distance = rep3;
                        rep3 = rep2;
                    }
                    rep2 = rep1;
                }
                rep1 = rep0;
                rep0 = distance;
            }
            length = DecodeLength(coder, probs.repLength, posState);
            state = state < LiteralStates ? 8 : 11;
        } else {
            rep3 = rep2;
            rep2 = rep1;
            rep1 = rep0;
            length = DecodeLength(coder, probs.matchLength, posState);
            state = state < LiteralStates ? 7 : 10;
            rep0 = DecodeDistance(coder, probs, length);
            // An end marker before the size, or a distance before the start, beyond the
            // dictionary or beyond the window. Repeated distances were checked when they were
            // new, and produced only grows.
            if (rep0 >= produced || rep0 >= dictionary || rep0 >= windowSize) {
                status = LzmaStatus::Failed;
                break;
            }
        }

        length += MatchMinLength;
        if (length > s.size - produced) {
            status = LzmaStatus::Failed;
            break;
        }
        uint32_t now = length < limit - produced ? length : limit - produced;
        CopyMatch(window, windowSize, windowPos, rep0, now);
        windowPos += now;
        produced += now;
        s.pending = length - now;
    }
    if (status == LzmaStatus::Running && coder.overrun)
        status = LzmaStatus::Failed;

    s.rep0 = rep0;
    s.rep1 = rep1;
    s.rep2 = rep2;
    s.rep3 = rep3;
    s.state = state;
    s.produced = produced;
    s.windowPos = windowPos == windowSize ? 0 : windowPos;
    if (status == LzmaStatus::Running && produced == s.size)
        status = Finish(s, coder);
    s.next = coder.next;
    s.range = coder.range;
    s.code = coder.code;
    s.overrun = coder.overrun;
    s.status = status;
    return status;
}

void LzmaMoveWindow(LzmaStream& s, uint8_t* window, uint32_t windowSize)
{
    // The last bytes, oldest first: those before windowPos, and before them (once the old window
    // has wrapped) those at its end.
    uint32_t keep = s.produced < windowSize ? s.produced : windowSize;
    if (keep > s.windowSize)
        keep = s.windowSize;
    uint32_t start = BackFrom(s.windowPos, keep, s.windowSize);
    uint32_t first = start + keep <= s.windowSize ? keep : s.windowSize - start;
    if (first > 0)
        memcpy(window, s.window + start, first);
    if (keep > first)
        memcpy(window + first, s.window, keep - first);
    s.window = window;
    s.windowSize = windowSize;
    s.windowPos = keep == windowSize ? 0 : keep;
    // A remembered distance that the new window cannot reach would read outside it.
    uint32_t farthest = s.rep0 > s.rep1 ? s.rep0 : s.rep1;
    farthest = farthest > s.rep2 ? farthest : s.rep2;
    farthest = farthest > s.rep3 ? farthest : s.rep3;
    if (farthest >= windowSize && s.status == LzmaStatus::Running)
        s.status = LzmaStatus::Failed;
}

bool LzmaDecodeExact(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size)
{
    // The output itself is the window: it never wraps.
    LzmaStream stream;
    if (LzmaStart(stream, packed, packedSize, size, out, size > 0 ? static_cast<uint32_t>(size) : 0) !=
        LzmaStatus::Running)
        return false;
    return LzmaDecodeTo(stream, stream.size) == LzmaStatus::Done;
}

bool LzmaDecodeWithPreset(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size,
                          int32_t presetSize)
{
    if (presetSize < 0 || size < 0 || (presetSize > 0 && !out) || presetSize > 0x7FFFFFFF - size)
        return false;
    // The preset and the output, back to back, are the window; decoding starts as if the preset
    // had just been decoded, so positions count from its first byte, as in liblzma.
    const uint32_t preset = static_cast<uint32_t>(presetSize);
    LzmaStream stream;
    if (LzmaStart(stream, packed, packedSize, presetSize + size, out - preset, preset + static_cast<uint32_t>(size)) !=
        LzmaStatus::Running)
        return false;
    stream.produced = preset;
    stream.windowPos = preset;
    if (stream.windowPos == stream.windowSize)
        stream.windowPos = 0;
    return LzmaDecodeTo(stream, stream.size) == LzmaStatus::Done;
}

