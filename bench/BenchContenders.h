// The installers that the install benchmark measures side by side: each is a name, the stub it
// is built on, the command that packs a payload and the command that installs it silently.
// A new codec or peer is one more entry of Contenders().
#ifndef LUMIVO_BENCH_BENCHCONTENDERS_H
#define LUMIVO_BENCH_BENCHCONTENDERS_H

#include "BenchPayload.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct Contender {
    std::string name;
    // The contenders its ratios divide by, each one column of the table.
    std::vector<std::string> references;
    std::filesystem::path stub;     // the installer without its payload
    std::string installDir;         // Windows path the installer writes into
    bool deterministic = false;     // packing the same payload twice must give the same bytes
    std::vector<std::string> tools; // programs it runs, looked up in PATH before the run starts
    // The command that packs payload into setup.
    std::function<std::vector<std::string>(const BenchPayload& payload, const std::filesystem::path& setup)>
        pack;
    // The command that installs setup silently into installDir.
    std::function<std::vector<std::string>(const std::filesystem::path& setup)> install;
};

struct ContenderPrograms {
    std::filesystem::path pack;         // lumivo-pack
    std::filesystem::path stub;         // lumivo-stub.exe
    std::filesystem::path baselineStub; // another build's stub, or empty
};

// Lumivo with deflate, with solid LZMA and with solid LZMA in blocks of 32 MiB, NSIS with zlib and
// with solid LZMA; "Lumivo baseline" too when programs names a baseline stub.
std::vector<Contender> Contenders(const ContenderPrograms& programs);

// "NSIS zlib" as "nsis-zlib".
std::string FileNameOf(const std::string& name);

// What is missing to run every contender (a program not in PATH, a stub that does not exist),
// one line each; empty when nothing is.
std::string MissingTools(const std::vector<Contender>& contenders);

#endif
