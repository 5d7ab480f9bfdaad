#include "archive/LzmaDecoder.h"

namespace {

typedef uint16_t Prob; // probability of a 0 bit, in units of 1/2048

enum : uint32_t {
    ProbBits = 11,
    ProbOne = 1u << ProbBits,
    ProbMoveBits = 5,
    RangeTop = 1u << 24,
    EndMarkerDistance = 0xFFFFFFFF,
    MinDictionary = 4096,
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

struct LengthProbs {
    Prob choice;
    Prob choice2;
    Prob low[PosStatesMax << LengthLowBits];
    Prob mid[PosStatesMax << LengthMidBits];
    Prob high[1 << LengthHighBits];
};

struct Probs {
    Prob isMatch[StateCount * PosStatesMax];
    Prob isRep[StateCount];
    Prob isRepG0[StateCount];
    Prob isRepG1[StateCount];
    Prob isRepG2[StateCount];
    Prob isRep0Long[StateCount * PosStatesMax];
    Prob slot[DistanceStates << SlotBits];
    Prob modelledDistance[1 + ModelledDistances - FirstDirectSlot];
    Prob align[1 << AlignBits];
    LengthProbs matchLength;
    LengthProbs repLength;
    Prob literal[LiteralCoderSize << LzmaMaxLcPlusLp];
};

template<typename Table> void Reset(Table& table, uint32_t count = sizeof(Table) / sizeof(Prob))
{
    Prob* probs = reinterpret_cast<Prob*>(&table);
    for (uint32_t i = 0; i < count; i++)
        probs[i] = ProbOne / 2;
}

void Reset(LengthProbs& length)
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

inline unsigned DecodeBit(RangeDecoder& coder, Prob& prob)
{
    uint32_t bound = (coder.range >> ProbBits) * prob;
    unsigned bit;
    if (coder.code < bound) {
        coder.range = bound;
        prob = static_cast<Prob>(prob + ((ProbOne - prob) >> ProbMoveBits));
        bit = 0;
    } else {
        coder.range -= bound;
        coder.code -= bound;
        prob = static_cast<Prob>(prob - (prob >> ProbMoveBits));
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
inline unsigned DecodeTree(RangeDecoder& coder, Prob* probs, unsigned count)
{
    unsigned node = 1;
    for (unsigned i = 0; i < count; i++)
        node = node << 1 | DecodeBit(coder, probs[node]);
    return node - (1u << count);
}

// The same with the least significant bit first.
inline unsigned DecodeReverseTree(RangeDecoder& coder, Prob* probs, unsigned count)
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
inline unsigned DecodeLength(RangeDecoder& coder, LengthProbs& probs, unsigned posState)
{
    if (!DecodeBit(coder, probs.choice))
        return DecodeTree(coder, probs.low + (posState << LengthLowBits), LengthLowBits);
    if (!DecodeBit(coder, probs.choice2))
        return (1 << LengthLowBits) +
               DecodeTree(coder, probs.mid + (posState << LengthMidBits), LengthMidBits);
    return (1 << LengthLowBits) + (1 << LengthMidBits) + DecodeTree(coder, probs.high, LengthHighBits);
}

// A match distance less one; the slot's model depends on the length (less the minimum).
inline uint32_t DecodeDistance(RangeDecoder& coder, Probs& probs, unsigned length)
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

inline unsigned DecodeLiteral(RangeDecoder& coder, Prob* probs, bool afterMatch, unsigned matchByte)
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

} // namespace

bool LzmaDecodeExact(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size)
{
    return LzmaDecodeWithPreset(packed, packedSize, out, size, 0);
}

bool LzmaDecodeWithPreset(const uint8_t* packed, int32_t packedSize, uint8_t* out, int32_t size,
                          int32_t presetSize)
{
    // The header, then the range coder's first five bytes: a zero and the initial code.
    if (!packed || packedSize < LzmaHeaderSize + 5 || size < 0 || (size > 0 && !out) || presetSize < 0 ||
        (presetSize > 0 && !out))
        return false;
    unsigned properties = packed[0];
    if (properties >= 9 * 5 * 5)
        return false;
    const unsigned lc = properties % 9, lp = properties / 9 % 5, pb = properties / 45;
    if (lc + lp > LzmaMaxLcPlusLp || packed[LzmaHeaderSize] != 0)
        return false;
    uint32_t dictionary = static_cast<uint32_t>(packed[1]) | static_cast<uint32_t>(packed[2]) << 8 |
                          static_cast<uint32_t>(packed[3]) << 16 | static_cast<uint32_t>(packed[4]) << 24;
    if (dictionary < MinDictionary)
        dictionary = MinDictionary;
    // The window starts with the preset. Positions count from its first byte: every context that
    // a position selects is the same under a constant shift, so where counting starts is no matter.
    const uint32_t preset = static_cast<uint32_t>(presetSize);
    out -= preset;

    RangeDecoder coder;
    coder.next = packed + LzmaHeaderSize + 5;
    coder.end = packed + packedSize;
    coder.range = 0xFFFFFFFF;
    coder.code = 0;
    for (int i = 1; i < 5; i++)
        coder.code = coder.code << 8 | packed[LzmaHeaderSize + i];
    coder.overrun = false;
    if (coder.code == coder.range)
        return false;

    Probs probs;
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
    Reset(probs.literal, LiteralCoderSize << (lc + lp));

    const uint32_t end = preset + static_cast<uint32_t>(size);
    const uint32_t posMask = (1u << pb) - 1, literalPosMask = (1u << lp) - 1;
    uint32_t pos = preset;
    uint32_t rep0 = 0, rep1 = 0, rep2 = 0, rep3 = 0; // the last four distances, less one
    unsigned state = 0;
    for (;;) {
        if (coder.overrun)
            return false;
        // Complete: the data ends here, or only an end marker may follow.
        if (pos == end && coder.next == coder.end)
            return coder.code == 0;
        unsigned posState = pos & posMask;

        if (!DecodeBit(coder, probs.isMatch[state * PosStatesMax + posState])) {
            if (pos == end)
                return false;
            unsigned previous = pos > 0 ? out[pos - 1] : 0;
            Prob* literal =
                probs.literal + LiteralCoderSize * (((pos & literalPosMask) << lc) + (previous >> (8 - lc)));
            bool afterMatch = state >= LiteralStates;
            out[pos] = static_cast<uint8_t>(
                DecodeLiteral(coder, literal, afterMatch, afterMatch ? out[pos - rep0 - 1] : 0));
            pos++;
            state = StateAfterLiteral(state);
            continue;
        }

        unsigned length;
        if (DecodeBit(coder, probs.isRep[state])) {
            if (pos == 0)
                return false; // nothing to repeat yet
            if (!DecodeBit(coder, probs.isRepG0[state])) {
                if (!DecodeBit(coder, probs.isRep0Long[state * PosStatesMax + posState])) {
                    // One byte at the last distance.
                    if (pos == end)
                        return false;
                    out[pos] = out[pos - rep0 - 1];
                    pos++;
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
            if (rep0 == EndMarkerDistance)
                return pos == end && !coder.overrun && coder.next == coder.end && coder.code == 0;
            // Repeated distances were checked when they were new, and pos only grows.
            if (rep0 >= pos || rep0 >= dictionary)
                return false;
        }

        length += MatchMinLength;
        if (length > end - pos)
            return false;
        uint8_t* to = out + pos;
        const uint8_t* from = to - rep0 - 1;
        // Byte by byte: a match may overlap the bytes that it produces.
        for (unsigned i = 0; i < length; i++)
            to[i] = from[i];
        pos += length;
    }
}
