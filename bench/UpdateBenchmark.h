// The update installer measured on a real program: two consecutive releases of a Windows program
// from npm, fetched when the benchmark runs (tools/fetch-npm-package), each packed whole with LZMA
// and the second also as an update over the first (lumivo-pack build --base); both installed over
// an installation of the first release, runs alternated.
#ifndef LUMIVO_BENCH_UPDATEBENCHMARK_H
#define LUMIVO_BENCH_UPDATEBENCHMARK_H

#include <filesystem>
#include <string>

struct UpdateBenchSettings {
    std::filesystem::path pack, stub, work, tools;
    std::filesystem::path prefix; // the Wine prefix in use
    int runs = 5;
};

// What the update section needs and lacks (npm, the stub), one line each; empty when nothing.
std::string UpdateBenchMissing(const UpdateBenchSettings& settings);

// The section of results.md: sizes, pack times, install time and memory of the full installer
// and of the update, their ratios, and whether the update meets its targets (at most a third of
// the full installer's size, installing faster). Every installation is checked byte for byte in
// its first run. Exits with a message when something fails.
std::string UpdateSection(const UpdateBenchSettings& settings);

#endif
