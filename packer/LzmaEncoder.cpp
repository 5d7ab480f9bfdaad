#include "packer/LzmaEncoder.h"

#include "archive/LzmaDecoder.h"
#include "packer/PackError.h"

#include <algorithm>
#include <lzma.h>
#include <memory>
#include <string>

// Never larger than what holds the bytes (no match reaches before their start): the encoder needs
// about ten times the dictionary in memory.
uint32_t LzmaDictionaryFor(size_t size, uint32_t largest)
{
    uint32_t dictionary = LZMA_DICT_SIZE_MIN;
    while (dictionary < size && dictionary < largest) {
        if (dictionary + dictionary / 2 >= size)
            return dictionary + dictionary / 2;
        dictionary <<= 1;
    }
    return dictionary < largest ? dictionary : largest;
}

// liblzma's options for the settings and the number of bytes to encode, and the stream's header.
static lzma_options_lzma OptionsFor(const LzmaSettings& settings, size_t size, uint8_t (&header)[LzmaHeaderSize])
{
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
                        : preset            ? LzmaDictionaryFor(preset + size, MaxPatchDictionary)
                                            : LzmaDictionaryFor(size, options.dict_size);
    options.ext_flags = settings.endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    options.ext_size_low = options.ext_size_high = UINT32_MAX; // read by decoders only
    header[0] = static_cast<uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; i++)
        header[1 + i] = static_cast<uint8_t>(options.dict_size >> (8 * i));
    return options;
}

[[noreturn]] static void EncoderFailed(lzma_ret result, const lzma_options_lzma& options)
{
    if (result == LZMA_MEM_ERROR || result == LZMA_MEMLIMIT_ERROR)
        Fail("out of memory for the LZMA encoder (dictionary " + std::to_string(options.dict_size >> 10) +
             " KiB)");
    Fail("liblzma refused to encode (error " + std::to_string(static_cast<int>(result)) + ")");
}

bool LzmaEncode(const uint8_t* bytes, size_t size, size_t limit, std::vector<uint8_t>& stream,
                const LzmaSettings& settings)
{
    stream.clear();
    static const uint8_t none = 0; // liblzma refuses a null input even when it is empty
    if (!bytes)
        bytes = &none;
    uint8_t header[LzmaHeaderSize];
    lzma_options_lzma options = OptionsFor(settings, size, header);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    if (limit < LzmaHeaderSize)
        return false;
    stream.resize(limit);
    std::copy(header, header + LzmaHeaderSize, stream.begin());
    size_t written = LzmaHeaderSize;
    lzma_ret result = lzma_raw_buffer_encode(filters, nullptr, bytes, size, stream.data(), &written, limit);
    if (result == LZMA_OK) {
        stream.resize(written);
        return true;
    }
    stream.clear();
    if (result == LZMA_BUF_ERROR)
        return false;
    EncoderFailed(result, options);
}

std::vector<uint8_t> LzmaEncodeStream(const uint8_t* bytes, size_t size, const LzmaSettings& settings,
                                      const std::function<void(size_t done)>& progress)
{
    uint8_t header[LzmaHeaderSize];
    lzma_options_lzma options = OptionsFor(settings, size, header);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream coder = LZMA_STREAM_INIT;
    lzma_ret result = lzma_raw_encoder(&coder, filters);
    if (result != LZMA_OK)
        EncoderFailed(result, options);
    std::unique_ptr<lzma_stream, void (*)(lzma_stream*)> owner(&coder, lzma_end);

    std::vector<uint8_t> stream(header, header + LzmaHeaderSize);
    const size_t step = 1 << 20;
    size_t fed = 0;
    for (;;) {
        if (coder.avail_in == 0 && fed < size) {
            coder.next_in = bytes + fed;
            coder.avail_in = std::min(step, size - fed);
            fed += coder.avail_in;
        }
        if (stream.size() == stream.capacity())
            stream.reserve(stream.capacity() * 2);
        size_t used = stream.size();
        stream.resize(stream.capacity());
        coder.next_out = stream.data() + used;
        coder.avail_out = stream.size() - used;
        result = lzma_code(&coder, fed < size || coder.avail_in > 0 ? LZMA_RUN : LZMA_FINISH);
        stream.resize(stream.size() - coder.avail_out);
        if (result == LZMA_STREAM_END)
            break;
        if (result != LZMA_OK)
            EncoderFailed(result, options);
        if (progress)
            progress(fed - coder.avail_in);
    }
    if (progress)
        progress(size);
    stream.shrink_to_fit();
    return stream;
}
