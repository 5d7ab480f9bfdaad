#include "packer/LzmaEncoder.h"

#include "archive/LzmaDecoder.h"
#include "packer/PackError.h"

#include <lzma.h>
#include <string>

// The smallest of 4 KiB, 6 KiB, 8 KiB, 12 KiB ... (2^n and 3 * 2^(n-1), the usual dictionary sizes)
// that holds the whole file, at most the preset's: the encoder needs about ten times the
// dictionary in memory, and no match can reach further back than the file's start.
static uint32_t DictionaryFor(size_t size, uint32_t largest)
{
    uint32_t dictionary = LZMA_DICT_SIZE_MIN;
    while (dictionary < size && dictionary < largest) {
        if (dictionary + dictionary / 2 >= size)
            return dictionary + dictionary / 2;
        dictionary <<= 1;
    }
    return dictionary < largest ? dictionary : largest;
}

bool LzmaEncode(const uint8_t* bytes, size_t size, size_t limit, std::vector<uint8_t>& stream,
                const LzmaSettings& settings)
{
    stream.clear();
    static const uint8_t none = 0; // liblzma refuses a null input even when it is empty
    if (!bytes)
        bytes = &none;
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, static_cast<uint32_t>(settings.preset) |
                                       (settings.extreme ? LZMA_PRESET_EXTREME : 0)))
        Fail("liblzma has no preset " + std::to_string(settings.preset));
    options.lc = static_cast<uint32_t>(settings.lc);
    options.lp = static_cast<uint32_t>(settings.lp);
    options.pb = static_cast<uint32_t>(settings.pb);
    size_t preset = settings.presetDictionary ? settings.presetDictionarySize : 0;
    if (preset > UINT32_MAX)
        Fail("a preset dictionary of " + std::to_string(preset) + " bytes is more than liblzma takes");
    options.preset_dict = preset ? settings.presetDictionary : nullptr;
    options.preset_dict_size = static_cast<uint32_t>(preset);
    options.dict_size = settings.dictionary ? settings.dictionary
                        : preset            ? DictionaryFor(preset + size, MaxPatchDictionary)
                                            : DictionaryFor(size, options.dict_size);
    options.ext_flags = settings.endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    options.ext_size_low = options.ext_size_high = UINT32_MAX; // read by decoders only
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    if (limit < LzmaHeaderSize)
        return false;
    stream.resize(limit);
    stream[0] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; i++)
        stream[1 + i] = static_cast<uint8_t>(options.dict_size >> (8 * i));
    size_t written = LzmaHeaderSize;
    lzma_ret result = lzma_raw_buffer_encode(filters, nullptr, bytes, size, stream.data(), &written, limit);
    if (result == LZMA_OK) {
        stream.resize(written);
        return true;
    }
    stream.clear();
    if (result == LZMA_BUF_ERROR)
        return false;
    if (result == LZMA_MEM_ERROR || result == LZMA_MEMLIMIT_ERROR)
        Fail("out of memory for the LZMA encoder (dictionary " + std::to_string(options.dict_size >> 10) +
             " KiB)");
    Fail("liblzma refused to encode (error " + std::to_string(static_cast<int>(result)) + ")");
}
