#include "doctest.h"

#include "archive/ArchiveFormat.h"
#include "archive/LzmaDecoder.h"
#include "packer/EntryPacker.h"
#include "packer/LzmaEncoder.h"
#include "support/ArchiveBuilder.h"

#include <lzma.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <lzma.h>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

typedef std::vector<uint8_t> ByteVector;

static ByteVector Of(const std::string& text)
{
    return ByteVector(text.begin(), text.end());
}

static ByteVector Encoded(const ByteVector& data, const LzmaSettings& settings)
{
    ByteVector stream;
    REQUIRE(LzmaEncode(data.data(), data.size(), data.size() * 2 + 1024, stream, settings));
    return stream;
}

// Our decoder's verdict on a stream for a declared size; the output lies in a buffer with a guard
// byte behind it, which must stay as it was.
static bool Decodes(const ByteVector& stream, size_t size, ByteVector* out = nullptr)
{
    ByteVector buffer(size + 1, 0xEE);
    bool good = LzmaDecodeExact(stream.data(), static_cast<int32_t>(stream.size()), buffer.data(),
                                static_cast<int32_t>(size));
    CHECK(buffer[size] == 0xEE);
    if (out)
        out->assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
    return good;
}

static LzmaSettings Settings(int lc, int lp, int pb, uint32_t dictionary, int preset, bool extreme,
                             bool endMarker)
{
    LzmaSettings settings;
    settings.lc = lc;
    settings.lp = lp;
    settings.pb = pb;
    settings.dictionary = dictionary;
    settings.preset = preset;
    settings.extreme = extreme;
    settings.endMarker = endMarker;
    return settings;
}

// Test inputs of every shape the packer meets, from a fixed seed.
struct Inputs {
    std::mt19937 random {17};

    ByteVector randomBytes(size_t size)
    {
        ByteVector bytes(size);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        return bytes;
    }
    ByteVector text(size_t size)
    {
        static const char* const words[] = {"the ", "installer ", "writes ", "every ", "file ",    "of ",
                                            "a ",   "program\n",  "zażółć ", "gęślą ", "jaźń\r\n", "42 "};
        std::string text;
        while (text.size() < size)
            text += words[random() % 12];
        text.resize(size);
        return Of(text);
    }
    ByteVector runs(size_t size)
    {
        ByteVector bytes;
        while (bytes.size() < size)
            bytes.insert(bytes.end(), std::min<size_t>(size - bytes.size(), random() % 600),
                         static_cast<uint8_t>(random() % 3));
        return bytes;
    }
    // Blocks that come back after period bytes: matches at exactly that distance.
    ByteVector periodic(size_t size, size_t period)
    {
        ByteVector block = randomBytes(period);
        ByteVector bytes;
        while (bytes.size() < size)
            bytes.insert(bytes.end(), block.begin(),
                         block.begin() + static_cast<std::ptrdiff_t>(std::min(period, size - bytes.size())));
        // a few changed bytes, so that literals after matches occur too
        for (size_t i = period; i < size; i += 97)
            bytes[i] ^= static_cast<uint8_t>(random());
        return bytes;
    }
};

// Real Windows programs: the PE files that Wine installs, small ones first.
static std::vector<ByteVector> PeFiles(size_t count, uintmax_t largest)
{
    std::vector<fs::path> paths;
    for (const fs::directory_entry& item :
         fs::directory_iterator("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"))
        if (item.is_regular_file() && item.file_size() <= largest)
            paths.push_back(item.path());
    std::sort(paths.begin(), paths.end());
    std::vector<ByteVector> files;
    for (size_t i = 0; i < paths.size() && files.size() < count;
         i += std::max<size_t>(1, paths.size() / count)) {
        std::ifstream file(paths[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        REQUIRE(files.back().size() > 2);
        REQUIRE(files.back()[0] == 'M');
    }
    REQUIRE(files.size() == count);
    return files;
}

TEST_SUITE("lzma") {

TEST_CASE("streams that liblzma writes decode to the same bytes")
{
    // lc, lp, pb, dictionary (0: sized to the input), preset, extreme, end marker
    const LzmaSettings settings[] = {
        Settings(3, 0, 2, 0, 9, true, false),       Settings(3, 0, 2, 0, 6, false, true),
        Settings(0, 0, 0, 4096, 1, false, false),   Settings(4, 0, 4, 65536, 5, false, true),
        Settings(0, 4, 0, 8192, 3, false, false),   Settings(1, 3, 1, 0, 7, true, false),
        Settings(2, 2, 3, 1 << 20, 0, false, true), Settings(3, 1, 0, 4096, 9, true, true),
    };
    const size_t settingCount = sizeof settings / sizeof settings[0];
    Inputs inputs;
    std::vector<ByteVector> cases = {ByteVector(),       ByteVector(1, 'x'),     ByteVector(2, 0),
                                     ByteVector(300, 0), ByteVector(5000, 0xFF), Of("ab"),
                                     Of("abcabcabcabc")};
    for (size_t size : {3, 17, 100, 273, 274, 1000, 4095, 4096, 4097, 20000}) {
        cases.push_back(inputs.randomBytes(size));
        cases.push_back(inputs.text(size));
        cases.push_back(inputs.runs(size));
    }
    // Sizes around the dictionary sizes, with repeats at and around the dictionary's reach.
    for (size_t dictionary : {4096, 8192, 65536})
        for (size_t size : {dictionary - 1, dictionary, dictionary + 1, 2 * dictionary + 3})
            for (size_t period : {dictionary - 1, dictionary, dictionary + 1})
                cases.push_back(inputs.periodic(size, std::min(period, size)));
    for (int i = 0; i < 260; i++) {
        size_t size = inputs.random() % (i < 200 ? 600 : 12000);
        switch (i % 4) {
        case 0:
            cases.push_back(inputs.randomBytes(size));
            break;
        case 1:
            cases.push_back(inputs.text(size));
            break;
        case 2:
            cases.push_back(inputs.runs(size));
            break;
        default:
            cases.push_back(inputs.periodic(size, 1 + inputs.random() % 700));
            break;
        }
    }
    for (const ByteVector& pe : PeFiles(12, 160 * 1024))
        cases.push_back(pe);

    // Every input with every setting: thousands of streams.
    size_t decoded = 0;
    for (size_t c = 0; c < cases.size(); c++)
        for (size_t s = 0; s < settingCount; s++) {
            CAPTURE(c);
            CAPTURE(s);
            CAPTURE(cases[c].size());
            ByteVector stream = Encoded(cases[c], settings[s]), out;
            REQUIRE(Decodes(stream, cases[c].size(), &out));
            REQUIRE(out == cases[c]);
            decoded++;
        }
    CHECK(decoded > 2000);
}

TEST_CASE("a stream is refused unless it ends exactly at the declared size")
{
    Inputs inputs;
    for (bool endMarker : {false, true}) {
        CAPTURE(endMarker);
        ByteVector data = inputs.text(3000);
        ByteVector stream = Encoded(data, Settings(3, 0, 2, 0, 6, false, endMarker));
        CHECK(Decodes(stream, data.size()));
        CHECK_FALSE(Decodes(stream, data.size() - 1));
        CHECK_FALSE(Decodes(stream, data.size() + 1));
        CHECK_FALSE(Decodes(stream, 0));
        // Every shorter stream, and one with a byte left over.
        for (size_t length = 0; length < stream.size(); length++)
            CHECK_FALSE(
                Decodes(ByteVector(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length)),
                        data.size()));
        ByteVector longer = stream;
        longer.push_back(0);
        CHECK_FALSE(Decodes(longer, data.size()));
    }
    // The smallest streams: nothing, with and without an end marker.
    for (bool endMarker : {false, true})
        CHECK(Decodes(Encoded(ByteVector(), Settings(3, 0, 2, 0, 6, false, endMarker)), 0));
    CHECK_FALSE(LzmaDecodeExact(nullptr, 0, nullptr, 0));
}

TEST_CASE("headers and range coders that are not LZMA's are refused")
{
    Inputs inputs;
    ByteVector data = inputs.runs(2000);
    ByteVector stream = Encoded(data, Settings(3, 0, 2, 4096, 6, false, false));
    REQUIRE(stream[0] == 0x5D); // lc 3, lp 0, pb 2
    ByteVector bad = stream;
    bad[0] = 225; // pb would be 5
    CHECK_FALSE(Decodes(bad, data.size()));
    bad[0] = (0 * 5 + 1) * 9 + 4; // lc 4 + lp 1: larger than liblzma writes or reads
    CHECK_FALSE(Decodes(bad, data.size()));
    bad = stream;
    bad[LzmaHeaderSize] = 1; // the range coder's first byte is always zero
    CHECK_FALSE(Decodes(bad, data.size()));
    bad = stream;
    for (int i = 1; i < 5; i++)
        bad[LzmaHeaderSize + i] = 0xFF; // an initial code that is not below the range
    CHECK_FALSE(Decodes(bad, data.size()));
}

TEST_CASE("a distance beyond the declared dictionary is refused")
{
    // Repeats 40000 bytes back, encoded with a dictionary that reaches them, then declared with
    // one that does not.
    Inputs inputs;
    ByteVector data = inputs.periodic(100000, 40000);
    ByteVector stream = Encoded(data, Settings(3, 0, 2, 65536, 6, false, false));
    CHECK(Decodes(stream, data.size()));
    stream[1] = 0x00;
    stream[2] = 0x80;
    stream[3] = 0x00; // 32 KiB
    CHECK_FALSE(Decodes(stream, data.size()));
    stream[1] = stream[2] = stream[3] = stream[4] = 0; // below the 4 KiB that every decoder allows
    CHECK_FALSE(Decodes(stream, data.size()));
}

TEST_CASE("damaged streams are refused or decode within their buffer")
{
    // Every single-bit change of a stream; the guard byte catches a write past the end. Most
    // changes must be noticed by the decoder itself (the CRC of the record catches them all).
    Inputs inputs;
    ByteVector data = inputs.text(1500);
    for (bool endMarker : {false, true}) {
        ByteVector stream = Encoded(data, Settings(3, 0, 2, 0, 9, true, endMarker));
        size_t refused = 0, changes = 0;
        for (size_t bit = (LzmaHeaderSize + 1) * 8; bit < stream.size() * 8; bit++) {
            ByteVector damaged = stream;
            damaged[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
            changes++;
            refused += !Decodes(damaged, data.size());
        }
        CAPTURE(endMarker);
        CHECK(refused * 50 >= changes * 49); // 99.8% when this was written
    }
}

// liblzma's own decoding of a stream (our header, then raw LZMA1) with a preset dictionary, for a
// declared size: its output, or false when it refuses the stream or ends early or late.
static bool LiblzmaDecodes(const ByteVector& stream, const ByteVector& preset, size_t size, ByteVector& out)
{
    lzma_options_lzma options;
    if (stream.size() < LzmaHeaderSize || stream[0] >= 225 || lzma_lzma_preset(&options, 6))
        return false;
    options.lc = stream[0] % 9;
    options.lp = stream[0] / 9 % 5;
    options.pb = stream[0] / 45;
    options.dict_size = ReadU32(stream.data() + 1);
    options.preset_dict = preset.empty() ? nullptr : preset.data();
    options.preset_dict_size = static_cast<uint32_t>(preset.size());
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(size);
    options.ext_size_high = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    out.assign(size + 1, 0);
    size_t in = LzmaHeaderSize, written = 0;
    if (lzma_raw_buffer_decode(filters, nullptr, stream.data(), &in, stream.size(), out.data(), &written,
                               out.size()) != LZMA_OK ||
        written != size)
        return false;
    out.resize(size);
    return true;
}

// Our decoding with the preset in front of the output, as the installer lays it out; the preset
// must stay as it was and nothing may be written past the end.
static bool DecodesWithPreset(const ByteVector& stream, const ByteVector& preset, size_t size,
                              ByteVector& out)
{
    ByteVector window(preset);
    window.resize(preset.size() + size + 1, 0xEE);
    bool good = LzmaDecodeWithPreset(stream.data(), static_cast<int32_t>(stream.size()),
                                     window.data() + preset.size(), static_cast<int32_t>(size),
                                     static_cast<int32_t>(preset.size()));
    CHECK(std::equal(preset.begin(), preset.end(), window.begin()));
    CHECK(window.back() == 0xEE);
    out.assign(window.begin() + static_cast<std::ptrdiff_t>(preset.size()), window.end() - 1);
    return good;
}

TEST_CASE("with a preset dictionary the decoder gives what liblzma's decoder gives")
{
    Inputs inputs;
    // A base and versions of it: the first and last byte changed, a block inserted, one removed,
    // grown past the dictionary, emptied; bases of every length modulo 16, so that the position
    // bits see every alignment.
    ByteVector base = inputs.periodic(40000, 700);
    ByteVector firstLast = base;
    firstLast.front() ^= 0x5A;
    firstLast.back() ^= 0xA5;
    ByteVector inserted = base;
    ByteVector block = inputs.randomBytes(3000);
    inserted.insert(inserted.begin() + 12345, block.begin(), block.end());
    ByteVector removed = base;
    removed.erase(removed.begin() + 1000, removed.begin() + 9000);
    ByteVector grown = base;
    ByteVector text = inputs.text(90000);
    grown.insert(grown.end(), text.begin(), text.end());
    std::vector<std::pair<ByteVector, ByteVector>> cases = {
        {base, firstLast}, {base, inserted},     {base, removed},
        {base, grown},     {base, ByteVector()}, {ByteVector(1, 'x'), Of("xxxxxxxxxy")},
        {base, base}};
    for (size_t cut = 0; cut < 16; cut++)
        cases.push_back({ByteVector(base.begin(), base.end() - static_cast<std::ptrdiff_t>(cut)), inserted});
    for (const ByteVector& pe : PeFiles(2, 160 * 1024))
        cases.push_back({pe, firstLast});

    // lc, lp, pb, dictionary (0: sized for the preset and the file; 8 KiB and 4 KiB: smaller than
    // the preset, which then counts with its tail only), preset, extreme, end marker
    const LzmaSettings settings[] = {
        Settings(3, 0, 2, 0, 9, true, false), Settings(0, 2, 4, 0, 6, false, true),
        Settings(4, 0, 3, 8192, 6, false, false), Settings(1, 1, 1, 4096, 1, false, true)};
    size_t compared = 0, smaller = 0;
    for (size_t c = 0; c < cases.size(); c++)
        for (const LzmaSettings& setting : settings) {
            const ByteVector& preset = cases[c].first;
            const ByteVector& file = cases[c].second;
            CAPTURE(c);
            CAPTURE(setting.dictionary);
            LzmaSettings withPreset = setting;
            withPreset.presetDictionary = preset.data();
            withPreset.presetDictionarySize = preset.size();
            ByteVector stream = Encoded(file, withPreset), ours, theirs;
            REQUIRE(LiblzmaDecodes(stream, preset, file.size(), theirs));
            REQUIRE(DecodesWithPreset(stream, preset, file.size(), ours));
            CHECK(ours == theirs);
            CHECK(ours == file);
            smaller += stream.size() < Encoded(file, setting).size();
            compared++;
            // Every single-bit change of the first bytes after the header: whatever our decoder
            // accepts, liblzma decodes to the same bytes.
            for (size_t bit = (LzmaHeaderSize + 1) * 8; bit < std::min<size_t>(stream.size(), 40) * 8;
                 bit += 3) {
                ByteVector damaged = stream;
                damaged[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
                if (DecodesWithPreset(damaged, preset, file.size(), ours)) {
                    REQUIRE(LiblzmaDecodes(damaged, preset, file.size(), theirs));
                    CHECK(ours == theirs);
                }
            }
        }
    CHECK(compared == cases.size() * 4);
    CHECK(smaller * 2 > compared); // the preset is what makes a patch small
    // Without the preset a stream that copies from it is refused, not read before its buffer.
    ByteVector stream = Encoded(firstLast, [&] {
        LzmaSettings s = Settings(3, 0, 2, 0, 9, true, false);
        s.presetDictionary = base.data();
        s.presetDictionarySize = base.size();
        return s;
    }());
    CHECK_FALSE(Decodes(stream, firstLast.size()));
}

// liblzma's decoding of a stream into size bytes (an end marker allowed after them).
static bool LiblzmaDecodes(const ByteVector& stream, size_t size, ByteVector& out)
{
    lzma_options_lzma options = {};
    options.lc = stream[0] % 9;
    options.lp = stream[0] / 9 % 5;
    options.pb = stream[0] / 45;
    options.dict_size = std::max<uint32_t>(ReadU32(stream.data() + 1), LZMA_DICT_SIZE_MIN);
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    out.assign(size + 1, 0); // liblzma refuses a null output even when it is empty
    size_t in = LzmaHeaderSize, done = 0;
    bool good = lzma_raw_buffer_decode(filters, nullptr, stream.data(), &in, stream.size(), out.data(), &done,
                                       size) == LZMA_OK &&
                in == stream.size() && done == size;
    out.resize(size);
    return good;
}

// Our decoder in steps of random sizes through a window of the dictionary's size (moved to a
// larger one halfway when asked); the bytes it gave, or false when it refused the stream.
static bool DecodesInSteps(const ByteVector& stream, size_t size, std::mt19937& random, bool move, ByteVector& out)
{
    static LzmaStream decoder;
    int32_t declared = static_cast<int32_t>(size);
    ByteVector window(LzmaWindowFor(LzmaDictionary(stream.data(), static_cast<int32_t>(stream.size())), declared));
    ByteVector larger(window.size() + 777);
    out.clear();
    LzmaStatus status = LzmaStart(decoder, stream.data(), static_cast<int32_t>(stream.size()), declared,
                                  window.data(), static_cast<uint32_t>(window.size()));
    while (status == LzmaStatus::Running) {
        if (move && decoder.produced >= size / 2 && decoder.window != larger.data())
            LzmaMoveWindow(decoder, larger.data(), static_cast<uint32_t>(larger.size()));
        uint32_t at = decoder.windowPos;
        uint32_t count = std::min<uint32_t>({1 + static_cast<uint32_t>(random() % 70000), decoder.size - decoder.produced,
                                             decoder.windowSize - at});
        status = LzmaDecodeTo(decoder, decoder.produced + count);
        if (status != LzmaStatus::Failed)
            out.insert(out.end(), decoder.window + at, decoder.window + at + count);
    }
    return status == LzmaStatus::Done;
}

TEST_CASE("decoding in steps through a window of the dictionary's size agrees with liblzma")
{
    Inputs inputs;
    std::mt19937 random(5);
    std::vector<ByteVector> cases = {ByteVector(), inputs.text(300000), inputs.randomBytes(90000),
                                     inputs.periodic(200000, 65535), inputs.periodic(150000, 4095),
                                     inputs.runs(100000)};
    for (const ByteVector& pe : PeFiles(2, 600 << 10))
        cases.push_back(pe);
    for (const ByteVector& data : cases)
        for (uint32_t dictionary : {4096u, 65536u})
            for (bool endMarker : {false, true}) {
                CAPTURE(data.size());
                CAPTURE(dictionary);
                ByteVector stream = Encoded(data, Settings(3, 0, 2, dictionary, 6, false, endMarker)), reference,
                           steps;
                REQUIRE(LiblzmaDecodes(stream, data.size(), reference));
                CHECK(DecodesInSteps(stream, data.size(), random, endMarker, steps));
                CHECK(steps == reference);
            }

    // Damaged streams: the same verdict and bytes as in one go, whatever the steps.
    ByteVector data = inputs.text(60000);
    ByteVector stream = Encoded(data, Settings(3, 0, 2, 4096, 9, true, false));
    for (int i = 0; i < 300; i++) {
        ByteVector damaged = stream, whole, steps;
        damaged[LzmaHeaderSize + 1 + random() % (stream.size() - LzmaHeaderSize - 1)] ^=
            static_cast<uint8_t>(1 << (random() % 8));
        bool inOneGo = Decodes(damaged, data.size(), &whole);
        CHECK(DecodesInSteps(damaged, data.size(), random, i % 2 == 1, steps) == inOneGo);
        if (inOneGo)
            CHECK(steps == whole);
    }

    // The packer's streamed encoding gives the same bytes as encoding in one go.
    LzmaSettings settings;
    ByteVector big = inputs.text(3 << 19), streamed = LzmaEncodeStream(big.data(), big.size(), settings, nullptr);
    CHECK(streamed == Encoded(big, settings));
}

TEST_CASE("the packer stores LZMA entries that unpack through the record format")
{
    Inputs inputs;
    ByteVector text = inputs.text(30000);
    PackedEntry packed = PackBytes(text.data(), text.size(), 12, EntryCodec::Lzma);
    CHECK(packed.kind == EntryKindLzma);
    CHECK(packed.size == 30000);
    CHECK(packed.data.size() < 15000);
    CHECK(packed.data[0] == 0x5D);
    CHECK(ReadU32(packed.data.data() + 1) == 32768); // the usual dictionary size that holds the file
    CHECK(ReadU32(PackBytes(text.data(), 24576, 12, EntryCodec::Lzma).data.data() + 1) == 24576);
    CHECK(ReadU32(PackBytes(text.data(), 24577, 12, EntryCodec::Lzma).data.data() + 1) == 32768);
    CHECK(packed.crc == Crc32(packed.data.data(), static_cast<int64_t>(packed.data.size())));
    CHECK(PackBytes(text.data(), text.size(), 12, EntryCodec::Lzma).data == packed.data);

    std::string record = Record(u"text.txt", EntryKindLzma,
                                std::string(packed.data.begin(), packed.data.end()), packed.size);
    ArchiveWalk walk = StartWalk(Bytes(record), static_cast<int64_t>(record.size()));
    ArchiveEntry entry;
    REQUIRE(NextEntry(walk, entry));
    ByteVector out(text.size());
    CHECK(UnpackEntry(entry, out.data()) == EntryCheck::Good);
    CHECK(out == text);

    // A wrong size in the header (which the CRC does not cover) is noticed by the decoder.
    for (int32_t wrong : {29999, 30001}) {
        std::string resized = Record(u"text.txt", EntryKindLzma,
                                     std::string(packed.data.begin(), packed.data.end()), wrong);
        walk = StartWalk(Bytes(resized), static_cast<int64_t>(resized.size()));
        REQUIRE(NextEntry(walk, entry));
        ByteVector buffer(static_cast<size_t>(wrong));
        CHECK(UnpackEntry(entry, buffer.data()) == EntryCheck::BadData);
    }

    // Bytes that do not get smaller are stored raw, whatever their size.
    for (size_t size : {0, 1, 2, 5, 64, 5000}) {
        ByteVector noise = inputs.randomBytes(size);
        PackedEntry raw = PackBytes(noise.data(), noise.size(), 12, EntryCodec::Lzma);
        CHECK(raw.data == noise);
        CHECK(raw.size == static_cast<int32_t>(size));
    }
}

} // TEST_SUITE
