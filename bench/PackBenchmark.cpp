// Packing benchmark: lumivo-pack build against a single-threaded zlib level 9 compression of the
// same files, side by side in one run. The payload is about 100 MiB of real Windows binaries, the
// PE files that Wine installs, some of them moved into subfolders.
//
// Usage: pack-benchmark LUMIVO-PACK WORK-DIR [PAYLOAD-DIR]
// Without PAYLOAD-DIR the payload is made once under WORK-DIR/dlls (the install benchmark's) and
// kept for later runs.
#include "packer/SetupReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

#include "BenchPayload.h"

namespace fs = std::filesystem;

static double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: pack-benchmark LUMIVO-PACK WORK-DIR [PAYLOAD-DIR]\n");
        return 2;
    }
    fs::path pack = argv[1], work = argv[2];
    fs::create_directories(work);
    fs::path payload = argc > 3 ? fs::path(argv[3]) : DllPayload(work).files;

    std::vector<fs::path> files;
    uint64_t payloadBytes = 0;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(payload))
        if (item.is_regular_file()) {
            files.push_back(item.path());
            payloadBytes += item.file_size();
        }
    std::sort(files.begin(), files.end());
    fs::path stub = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe";
    fs::path output = work / "setup.exe";
    // Warm the page cache so that neither side pays for the first read.
    for (const fs::path& file : files)
        ReadFileBytes(file);

    auto start = std::chrono::steady_clock::now();
    std::string command = "\"" + pack.string() + "\" build \"" + payload.string() + "\" -o \"" + output.string() +
                          "\" --stub \"" + stub.string() + "\" -q";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "pack-benchmark: lumivo-pack build failed\n");
        return 1;
    }
    double packSeconds = Seconds(start);
    uint64_t packArchive = static_cast<uint64_t>(LoadSetupArchive(output).length);

    // The same files, one thread, zlib level 9, each stored raw when that is smaller, with the
    // same record headers: the archive that a plain zlib packer would write.
    start = std::chrono::steady_clock::now();
    uint64_t zlibArchive = 28;
    for (const fs::path& file : files) {
        std::string bytes = ReadFileBytes(file);
        uLongf packed = compressBound(static_cast<uLong>(bytes.size()));
        std::vector<Bytef> out(packed);
        compress2(out.data(), &packed, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
                  9);
        std::string name = fs::relative(file, payload).string();
        zlibArchive += 28 + 2 * name.size() + std::min<uint64_t>(packed, bytes.size());
    }
    double zlibSeconds = Seconds(start);

    std::printf("payload: %zu files, %llu bytes (%s)\n", files.size(), static_cast<unsigned long long>(payloadBytes),
                payload.c_str());
    std::printf("%-34s %10s %14s\n", "", "wall time", "archive bytes");
    std::printf("%-34s %8.2f s %14llu\n",
                ("lumivo-pack build (" + std::to_string(std::thread::hardware_concurrency()) + " cores)").c_str(),
                packSeconds, static_cast<unsigned long long>(packArchive));
    std::printf("%-34s %8.2f s %14llu\n", "zlib level 9, one thread", zlibSeconds,
                static_cast<unsigned long long>(zlibArchive));
    std::printf("lumivo-pack is %.2f times as fast; its archive is %.1f %% of zlib's\n", zlibSeconds / packSeconds,
                100.0 * static_cast<double>(packArchive) / static_cast<double>(zlibArchive));
    return 0;
}
