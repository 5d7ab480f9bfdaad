// LZMA benchmark: packs files the way lumivo-pack build --codec lzma --no-solid does (liblzma,
// preset 9 extreme, one stream per file, on all cores) and compares with its deflate entries, then
// decodes every stream on one core with the installer's decoder and with liblzma, alternating, and
// prints sizes, speeds and the largest ratio of unpacked to packed size on a run of zeros.
//
// Usage: lzma-benchmark [FILE-OR-FOLDER...]
// Without arguments: the PE files that Wine installs, in name order, up to 100 MiB.
#include "archive/LzmaDecoder.h"
#include "packer/EntryPacker.h"
#include "packer/LzmaEncoder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <lzma.h>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
typedef std::vector<uint8_t> ByteVector;

static ByteVector ReadAll(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

static std::vector<fs::path> Inputs(int argc, char** argv)
{
    std::vector<fs::path> paths;
    uint64_t total = 0;
    auto add = [&](const fs::path& path) { paths.push_back(path), total += fs::file_size(path); };
    if (argc < 2) {
        std::vector<fs::path> wine;
        for (const auto& item : fs::directory_iterator("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"))
            if (item.is_regular_file())
                wine.push_back(item.path());
        std::sort(wine.begin(), wine.end());
        for (const fs::path& path : wine) {
            char magic[2] = {};
            std::ifstream(path, std::ios::binary).read(magic, 2);
            if (total < (100ull << 20) && magic[0] == 'M' && magic[1] == 'Z')
                add(path);
        }
    }
    for (int i = 1; i < argc; i++) {
        if (fs::is_directory(argv[i])) {
            for (const auto& item : fs::recursive_directory_iterator(argv[i]))
                if (item.is_regular_file())
                    add(item.path());
        } else {
            add(argv[i]);
        }
    }
    return paths;
}

static bool LiblzmaDecodes(const ByteVector& stream, ByteVector& out)
{
    lzma_options_lzma options;
    memset(&options, 0, sizeof options);
    options.lc = stream[0] % 9;
    options.lp = stream[0] / 9 % 5;
    options.pb = stream[0] / 45;
    memcpy(&options.dict_size, &stream[1], 4);
    options.ext_size_low = static_cast<uint32_t>(out.size());
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    size_t in = LzmaHeaderSize, done = 0;
    return lzma_raw_buffer_decode(filters, nullptr, stream.data(), &in, stream.size(), out.data(), &done,
                                  out.size()) == LZMA_OK &&
           done == out.size();
}

static double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int main(int argc, char** argv)
{
    std::vector<fs::path> paths = Inputs(argc, argv);
    std::vector<ByteVector> files;
    uint64_t total = 0;
    for (const fs::path& path : paths) {
        files.push_back(ReadAll(path));
        total += files.back().size();
    }
    std::printf("%zu files, %.2f MB\n", files.size(), total / 1e6);

    // Packing on all cores, largest first, as the packer does.
    std::vector<PackedEntry> lzma(files.size()), deflate(files.size());
    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); i++)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return files[a].size() > files[b].size(); });
    std::atomic<size_t> next {0};
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); t++)
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < order.size();) {
                const ByteVector& file = files[order[i]];
                lzma[order[i]] = PackBytes(file.data(), file.size(), 12, EntryCodec::Lzma);
                deflate[order[i]] = PackBytes(file.data(), file.size(), 12, EntryCodec::Deflate);
            }
        });
    for (std::thread& worker : workers)
        worker.join();
    uint64_t lzmaSize = 0, deflateSize = 0;
    for (size_t i = 0; i < files.size(); i++)
        lzmaSize += lzma[i].data.size(), deflateSize += deflate[i].data.size();
    std::printf("packed (both codecs, %u threads): %.1f s\n", std::thread::hardware_concurrency(),
                Seconds(start));
    std::printf("deflate (libdeflate 12): %.2f MB; lzma (preset 9 extreme): %.2f MB = %.3f of deflate\n",
                deflateSize / 1e6, lzmaSize / 1e6, static_cast<double>(lzmaSize) / deflateSize);

    // Decoding on one core, alternating the two decoders; the best of three rounds.
    double ours = 1e9, theirs = 1e9;
    bool same = true;
    for (int round = 0; round < 3; round++) {
        for (int decoder = 0; decoder < 2; decoder++) {
            start = std::chrono::steady_clock::now();
            for (size_t i = 0; i < files.size(); i++) {
                if (lzma[i].data.size() == files[i].size())
                    continue; // stored raw
                ByteVector out(files[i].size());
                bool good = decoder == 0 ? LzmaDecodeExact(lzma[i].data.data(),
                                                           static_cast<int32_t>(lzma[i].data.size()),
                                                           out.data(), static_cast<int32_t>(out.size()))
                                         : LiblzmaDecodes(lzma[i].data, out);
                same = same && good && out == files[i];
            }
            double seconds = Seconds(start);
            (decoder == 0 ? ours : theirs) = std::min(decoder == 0 ? ours : theirs, seconds);
        }
    }
    std::printf(
        "decode on one core: ours %.2f s (%.0f MB/s), liblzma %.2f s (%.0f MB/s), ours/liblzma %.2f%s\n",
        ours, total / ours / 1e6, theirs, total / theirs / 1e6, ours / theirs,
        same ? "" : "; OUTPUTS DIFFER");

    // The largest ratio: a run of zeros.
    for (size_t size : {1u << 20, 100u << 20}) {
        ByteVector zeros(size, 0);
        ByteVector stream;
        LzmaEncode(zeros.data(), zeros.size(), zeros.size(), stream);
        PackedEntry zlib = PackBytes(zeros.data(), zeros.size(), 12, EntryCodec::Deflate);
        std::printf("%zu MiB of zeros: lzma %zu bytes (ratio %.0f), deflate %zu bytes (ratio %.0f)\n",
                    size >> 20, stream.size(), static_cast<double>(size) / stream.size(), zlib.data.size(),
                    static_cast<double>(size) / zlib.data.size());
    }
    return same ? 0 : 1;
}
