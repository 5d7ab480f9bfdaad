// Fuzz target for the LZMA decoder: on any stream and any declared size, decoding into a buffer of
// exactly that size must neither crash, nor read or write outside its buffers, nor hang (built
// with AddressSanitizer, whose buffers are exact). liblzma is the referee for what is accepted:
// a stream that our decoder accepts must decode with liblzma to the very same bytes.
//
// Input: a u32 little-endian whose low 18 bits are the declared size and whose high bits, when
// not zero, the length of a preset dictionary of a fixed pattern that lies in front of the output
// (which liblzma is given too); then the stream.
#include "archive/LzmaDecoder.h"

#include <lzma.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const uint32_t MaxOutput = 1 << 18;

static void Check(bool condition)
{
    if (!condition)
        abort();
}

// liblzma's decoding of the same stream with the size known, an end marker allowed after it.
static bool ReferenceDecodes(const uint8_t* stream, size_t length, uint8_t* out, size_t size,
                             const uint8_t* preset, size_t presetSize)
{
    lzma_options_lzma options;
    memset(&options, 0, sizeof options);
    options.lc = stream[0] % 9;
    options.lp = stream[0] / 9 % 5;
    options.pb = stream[0] / 45;
    options.dict_size = static_cast<uint32_t>(stream[1]) | static_cast<uint32_t>(stream[2]) << 8 |
                        static_cast<uint32_t>(stream[3]) << 16 | static_cast<uint32_t>(stream[4]) << 24;
    // liblzma allocates the dictionary it is given: no more than the preset and the output can use.
    if (options.dict_size > presetSize + size)
        options.dict_size = static_cast<uint32_t>(presetSize + size);
    if (options.dict_size < LZMA_DICT_SIZE_MIN)
        options.dict_size = LZMA_DICT_SIZE_MIN;
    options.preset_dict = presetSize ? preset : nullptr;
    options.preset_dict_size = static_cast<uint32_t>(presetSize);
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(size);
    options.ext_size_high = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    size_t inPos = LzmaHeaderSize, outPos = 0;
    static uint8_t none;
    lzma_ret result =
        lzma_raw_buffer_decode(filters, nullptr, stream, &inPos, length, size ? out : &none, &outPos, size);
    return result == LZMA_OK && inPos == length && outPos == size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < 4)
        return 0;
    uint32_t word = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                    static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    uint32_t size = word % MaxOutput, presetSize = word / MaxOutput;
    const uint8_t* stream = data + 4;
    int32_t streamLength = static_cast<int32_t>(length - 4);
    // A copy of exactly the stream's length, so that a read past it is caught; the preset and the
    // output in one buffer of exactly their size, as the installer has them.
    uint8_t* packed = static_cast<uint8_t*>(malloc(streamLength > 0 ? streamLength : 1));
    memcpy(packed, stream, static_cast<size_t>(streamLength));
    uint8_t* window = static_cast<uint8_t*>(malloc(presetSize + size > 0 ? presetSize + size : 1));
    for (uint32_t i = 0; i < presetSize; i++)
        window[i] = static_cast<uint8_t>(i * 7 / 3);
    uint8_t* out = window + presetSize;
    bool good = presetSize ? LzmaDecodeWithPreset(packed, streamLength, out, static_cast<int32_t>(size),
                                                  static_cast<int32_t>(presetSize))
                           : LzmaDecodeExact(packed, streamLength, out, static_cast<int32_t>(size));
    if (presetSize == 0) {
        // The same stream in steps through a window of the dictionary's size: the same verdict
        // and, slice by slice, the same bytes.
        static LzmaStream steps;
        uint32_t stepWindowSize =
            LzmaWindowFor(LzmaDictionary(packed, streamLength), static_cast<int32_t>(size));
        uint8_t* stepWindow = static_cast<uint8_t*>(malloc(stepWindowSize > 0 ? stepWindowSize : 1));
        LzmaStatus status =
            LzmaStart(steps, packed, streamLength, static_cast<int32_t>(size), stepWindow, stepWindowSize);
        uint32_t step = 1 + (length > 4 ? data[length - 1] : 0) * 37;
        while (status == LzmaStatus::Running) {
            uint32_t at = steps.windowPos, count = size - steps.produced;
            count = count < step ? count : step;
            count = count < stepWindowSize - at ? count : stepWindowSize - at;
            uint32_t from = steps.produced;
            status = LzmaDecodeTo(steps, from + count);
            if (status != LzmaStatus::Failed && good)
                Check(memcmp(stepWindow + at, out + from, count) == 0);
        }
        Check((status == LzmaStatus::Done) == good);
        free(stepWindow);
    }
    if (good) {
        for (uint32_t i = 0; i < presetSize; i++)
            Check(window[i] == static_cast<uint8_t>(i * 7 / 3));
        uint8_t* reference = static_cast<uint8_t*>(malloc(size > 0 ? size : 1));
        Check(
            ReferenceDecodes(packed, static_cast<size_t>(streamLength), reference, size, window, presetSize));
        Check(memcmp(out, reference, size) == 0);
        free(reference);
    }
    free(window);
    free(packed);
    return 0;
}
