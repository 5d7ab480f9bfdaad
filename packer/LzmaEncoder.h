// Packing one file as an LZMA stream with liblzma: the 5-byte properties header (lc, lp and pb in
// one byte, then the dictionary size, u32 little-endian) and raw LZMA1 data, without an end
// marker unless asked for, since the archive record holds the unpacked size.
#ifndef LUMIVO_PACKER_LZMAENCODER_H
#define LUMIVO_PACKER_LZMAENCODER_H

#include <stddef.h>
#include <functional>
#include <stdint.h>
#include <vector>

struct LzmaSettings {
    int preset = 9; // 0 to 9, as liblzma's presets
    bool extreme = true;
    int lc = 3, lp = 0, pb = 2; // literal context and position bits, position bits
    // 0: the smallest usual size from 4 KiB that holds the whole file, at most the preset's (a
    // larger one would only cost the encoder memory: no match can reach further back).
    uint32_t dictionary = 0;
    bool endMarker = false;
    // Bytes that the window holds before the first byte (liblzma's preset dictionary): the stream
    // then decodes only with the same bytes in front (LzmaDecodeWithPreset). With dictionary 0 the
    // dictionary is sized to hold them and the file, at most MaxPatchDictionary.
    const uint8_t* presetDictionary = nullptr;
    size_t presetDictionarySize = 0;
};

// The smallest of 4 KiB, 6 KiB, 8 KiB, 12 KiB ... (2^n and 3 * 2^(n-1), the usual dictionary
// sizes) that holds size bytes, at most largest.
uint32_t LzmaDictionaryFor(size_t size, uint32_t largest);

// The largest dictionary sized for a preset dictionary and a file: the encoder needs about eleven
// times it in memory. A preset that does not fit counts with its tail only.
enum : uint32_t { MaxPatchDictionary = 256u << 20 };

// The stream for the bytes, into stream, when it is at most limit bytes long; false (stream
// empty) when it would be longer. Throws PackError when liblzma fails otherwise (out of memory,
// settings it refuses).
bool LzmaEncode(const uint8_t* bytes, size_t size, size_t limit, std::vector<uint8_t>& stream,
                const LzmaSettings& settings = LzmaSettings());

// The stream for the bytes whatever its length, encoded a MiB at a time; progress (when given)
// hears how many bytes are done after each. The same bytes as LzmaEncode gives.
std::vector<uint8_t> LzmaEncodeStream(const uint8_t* bytes, size_t size, const LzmaSettings& settings,
                                      const std::function<void(size_t done)>& progress);

#endif
