// Install benchmark: Lumivo (deflate, solid LZMA in one block and in blocks of 32 MiB) against NSIS
// (zlib and solid LZMA) side by side in one run, on the same payloads, under one persistent Wine
// server, runs alternated. For each payload: pack time, installer size, install time (median),
// CPU time, peak memory and stub size, with each contender's ratios to the ones it is measured
// against. One table per payload, printed and written to WORK-DIR/results.md.
//
// Usage: install-benchmark --pack LUMIVO-PACK --stub STUB.exe --work WORK-DIR --tools TOOLS-DIR
//                          [--runs N] [--only dlls|small|program|large|update] [--win-bench BIN-DIR]
//                          [--baseline-stub STUB.exe]
// --baseline-stub adds "Lumivo baseline": the same payload behind another build's stub (an
// earlier commit's, say), measured in the same run.
// The default run measures three payloads: Windows DLLs, small files and one program of about
// 100 MB (fetched from npm once). "--only large" measures a fourth, 1 GB that does not compress,
// which no default run makes (makensis alone spends about 12 minutes packing it with LZMA).
// With --win-bench, the Windows benchmarks in BIN-DIR add two sections: the read-ahead pipeline
// alone against ReadEntry in order, and the cost of each file system call.
// Each contender is one entry of Contenders() (BenchContenders.cpp): a new codec is one more.
// The update installer has a section of its own (UpdateBenchmark.cpp; "--only update" for it alone).
#include "BenchContenders.h"
#include "BenchPayload.h"
#include "BenchRun.h"
#include "UpdateBenchmark.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Settings {
    fs::path pack, stub, work, tools, winBench, baselineStub;
    int runs = 5;
    std::string only;
};

fs::path WinePrefix(const Settings& settings)
{
    return settings.work / "wineprefix";
}

// A Windows path under C:\ as the prefix stores it.
fs::path UnixPathOf(const Settings& settings, const std::string& windowsPath)
{
    std::string rest = windowsPath.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return WinePrefix(settings) / "drive_c" / rest;
}

struct Results {
    double packSeconds = 0;
    uint64_t setupBytes = 0;
    std::vector<RunMeasure> installs;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template<class Field> double MedianOf(const std::vector<RunMeasure>& runs, Field field)
{
    std::vector<double> values;
    for (const RunMeasure& run : runs)
        values.push_back(field(run));
    return Median(values);
}

[[noreturn]] void Fail(const std::string& what, const std::string& output = "")
{
    std::fprintf(stderr, "install-benchmark: %s\n%s", what.c_str(), output.c_str());
    std::exit(1);
}

// Every payload file is in place with its size, and with its bytes when compareBytes.
std::string CheckInstalled(const BenchPayload& payload, const fs::path& target, bool compareBytes)
{
    uint64_t found = 0;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(payload.files)) {
        if (!item.is_regular_file() || item.path().filename() == "install.script")
            continue;
        fs::path installed = target / fs::relative(item.path(), payload.files);
        std::error_code error;
        if (fs::file_size(installed, error) != item.file_size() || error)
            return "missing or wrong size: " + installed.string();
        if (compareBytes && ReadFileBytes(installed) != ReadFileBytes(item.path()))
            return "wrong bytes: " + installed.string();
        found++;
    }
    return found == payload.fileCount ? "" : "not every file was installed";
}

// compareBytes checks every installed byte (the first run of each installer); later runs check sizes.
RunMeasure Install(const Settings& settings, const Contender& contender, const BenchPayload& payload,
                   const fs::path& setup, bool compareBytes = false)
{
    fs::path target = UnixPathOf(settings, contender.installDir);
    fs::remove_all(target);
    fs::create_directories(target.parent_path());
    RunMeasure run = RunMeasured(contender.install(setup));
    if (run.exitCode != 0)
        Fail(contender.name + " installer exited with " + std::to_string(run.exitCode), run.output);
    std::string problem = CheckInstalled(payload, target, compareBytes);
    if (!problem.empty())
        Fail(contender.name + ": " + problem);
    fs::remove_all(target);
    return run;
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Megabytes(uint64_t bytes)
{
    return Format("%.2f MB", bytes / 1e6);
}

std::string Kilobytes(uint64_t bytes)
{
    return Format("%.0f KB", bytes / 1024.0);
}

struct Row {
    std::string label;
    std::function<double(const Results&, const Contender&)> value; // what the ratio divides
    std::function<std::string(const Results&, const Contender&)> text;
};

std::vector<Row> Rows(int runs)
{
    auto wall = [](const Results& r, const Contender&) {
        return MedianOf(r.installs, [](const RunMeasure& m) { return m.wallSeconds; });
    };
    auto user = [](const Results& r) {
        return MedianOf(r.installs, [](const RunMeasure& m) { return m.userSeconds; });
    };
    auto sys = [](const Results& r) {
        return MedianOf(r.installs, [](const RunMeasure& m) { return m.systemSeconds; });
    };
    auto privateBytes = [](const Results& r, const Contender&) {
        return MedianOf(r.installs,
                        [](const RunMeasure& m) { return static_cast<double>(m.peakPrivateBytes); });
    };
    auto rss = [](const Results& r, const Contender&) {
        return MedianOf(r.installs, [](const RunMeasure& m) { return static_cast<double>(m.peakRssBytes); });
    };
    auto stubBytes = [](const Results&, const Contender& c) {
        std::error_code error;
        return static_cast<double>(fs::file_size(c.stub, error));
    };
    return {
        {"install, wall (median of " + std::to_string(runs) + ")", wall,
         [wall](const Results& r, const Contender& c) { return Format("%.2f s", wall(r, c)); }},
        {"install, user + sys CPU",
         [user, sys](const Results& r, const Contender&) { return user(r) + sys(r); },
         [user, sys](const Results& r, const Contender&) {
             return Format("%.2f", user(r)) + " + " + Format("%.2f s", sys(r));
         }},
        {"install, system CPU", [sys](const Results& r, const Contender&) { return sys(r); },
         [sys](const Results& r, const Contender&) { return Format("%.2f s", sys(r)); }},
        {"install, minor page faults",
         [](const Results& r, const Contender&) {
             return MedianOf(r.installs, [](const RunMeasure& m) { return static_cast<double>(m.minorFaults); });
         },
         [](const Results& r, const Contender&) {
             return Format("%.0f", MedianOf(r.installs, [](const RunMeasure& m) {
                               return static_cast<double>(m.minorFaults);
                           }));
         }},
        {"peak private memory", privateBytes,
         [privateBytes](const Results& r, const Contender& c) {
             return Megabytes(static_cast<uint64_t>(privateBytes(r, c)));
         }},
        {"peak resident memory", rss,
         [rss](const Results& r, const Contender& c) { return Megabytes(static_cast<uint64_t>(rss(r, c))); }},
        {"installer size",
         [](const Results& r, const Contender&) { return static_cast<double>(r.setupBytes); },
         [](const Results& r, const Contender&) { return Megabytes(r.setupBytes); }},
        {"pack time", [](const Results& r, const Contender&) { return r.packSeconds; },
         [](const Results& r, const Contender&) { return Format("%.2f s", r.packSeconds); }},
        {"stub size", stubBytes,
         [stubBytes](const Results& r, const Contender& c) {
             return Kilobytes(static_cast<uint64_t>(stubBytes(r, c)));
         }},
    };
}

std::string Table(const BenchPayload& payload, const std::vector<Contender>& contenders,
                  const std::map<std::string, Results>& results, int runs)
{
    std::map<std::string, const Contender*> byName;
    for (const Contender& c : contenders)
        byName[c.name] = &c;
    std::ostringstream out;
    out << "| " << payload.title << Format(" (%.0f files, ", static_cast<double>(payload.fileCount))
        << Megabytes(payload.bytes) << ") |";
    size_t columns = contenders.size();
    for (const Contender& c : contenders)
        out << " " << c.name << " |";
    for (const Contender& c : contenders)
        for (const std::string& reference : c.references) {
            out << " " << c.name << " / " << reference << " |";
            columns++;
        }
    out << "\n|---|";
    for (size_t i = 0; i < columns; i++)
        out << "---|";
    out << "\n";
    for (const Row& row : Rows(runs)) {
        out << "| " << row.label << " |";
        for (const Contender& c : contenders)
            out << " " << row.text(results.at(c.name), c) << " |";
        for (const Contender& c : contenders)
            for (const std::string& reference : c.references) {
                const Contender& ref = *byName.at(reference);
                double base = row.value(results.at(ref.name), ref);
                bool both = base > 0;
                out << " " << (both ? Format("%.2f", row.value(results.at(c.name), c) / base) : "-") << " |";
            }
        out << "\n";
    }
    return out.str();
}

// The ratios the codec decisions and the targets rest on, each with its threshold and whether
// this run meets it. sizeLimit and installLimit: the most that solid LZMA's installer may weigh and
// take to install against NSIS LZMA's.
std::string Verdicts(const std::vector<Contender>& contenders, const std::map<std::string, Results>& results,
                     int runs, double sizeLimit, double installLimit)
{
    const char* solid = "Lumivo solid LZMA";
    auto has = [&](const char* name) { return results.count(name) != 0; };
    if (!has(solid) || !has("Lumivo deflate") || !has("NSIS LZMA"))
        return "";
    std::map<std::string, const Contender*> byName;
    for (const Contender& c : contenders)
        byName[c.name] = &c;
    std::vector<Row> rows = Rows(runs);
    const Row& wall = rows[0];
    auto value = [&](const Row& row, const char* name) {
        return row.value(results.at(name), *byName.at(name));
    };
    auto verdict = [](double ratio, double limit, bool inclusive) {
        bool met = inclusive ? ratio <= limit : ratio < limit;
        return Format("%.2f", ratio) + " (" + (inclusive ? "at most " : "below ") + Format("%.2f", limit) +
               (met ? ": met)" : ": not met)");
    };
    const Results& lumivo = results.at(solid);
    const Results& nsis = results.at("NSIS LZMA");
    std::ostringstream out;
    out << "- Lumivo solid LZMA against NSIS LZMA: installer size "
        << verdict(static_cast<double>(lumivo.setupBytes) / static_cast<double>(nsis.setupBytes), sizeLimit, true)
        << ", pack time " << verdict(lumivo.packSeconds / nsis.packSeconds, 1.5, true);
    out << ", install time " << verdict(value(wall, solid) / value(wall, "NSIS LZMA"), installLimit, true) << ".\n"
        << "- Default codec: Lumivo solid LZMA installs in "
        << verdict(value(wall, solid) / value(wall, "Lumivo deflate"), 1.2, true)
        << " of Lumivo deflate's time; LZMA becomes the default when this is met.\n";
    const char* blocks = "Lumivo LZMA 32M blocks";
    if (has(blocks))
        out << "- Blocks decoded side by side: in blocks of 32 MiB, Lumivo LZMA installs in "
            << Format("%.2f", value(wall, blocks) / value(wall, solid)) << " of one block's time, at "
            << Format("%.3f",
                      static_cast<double>(results.at(blocks).setupBytes) / static_cast<double>(lumivo.setupBytes))
            << " of its size.\n";
    return out.str();
}

// Packs payload into setup with contender; for one that promises the same bytes from the same
// files, packs it once more under the same name in another folder and compares.
double Pack(const Contender& contender, const BenchPayload& payload, const fs::path& setup)
{
    fs::remove(setup);
    std::fprintf(stderr, "  packing with %s\n", contender.name.c_str());
    RunMeasure pack = RunMeasured(contender.pack(payload, setup));
    if (pack.exitCode != 0)
        Fail("packing with " + contender.name + " failed (exit " + std::to_string(pack.exitCode) + ")",
             pack.output);
    std::error_code error;
    if (!fs::is_regular_file(setup, error) || fs::file_size(setup, error) == 0)
        Fail("packing with " + contender.name + " reported success but wrote no " + setup.string(),
             pack.output);
    if (contender.deterministic) {
        // The installer's name is in its version information: the same name, another folder.
        fs::path again = setup.parent_path() / "again" / setup.filename();
        fs::create_directories(again.parent_path());
        fs::remove(again);
        std::fprintf(stderr, "  packing with %s again, for the same bytes\n", contender.name.c_str());
        RunMeasure repeat = RunMeasured(contender.pack(payload, again));
        if (repeat.exitCode != 0)
            Fail("packing with " + contender.name + " a second time failed", repeat.output);
        if (ReadFileBytes(again) != ReadFileBytes(setup))
            Fail("packing the same payload twice with " + contender.name +
                 " gave different bytes: " + setup.string() + " and " + again.string());
        fs::remove(again);
    }
    return pack.wallSeconds;
}

std::map<std::string, Results> Measure(const Settings& settings, const std::vector<Contender>& contenders,
                                       const BenchPayload& payload, const fs::path& folder)
{
    std::map<std::string, Results> results;
    std::map<std::string, fs::path> setups;
    for (const Contender& c : contenders) {
        fs::path setup = folder / (FileNameOf(c.name) + "-setup.exe");
        results[c.name].packSeconds = Pack(c, payload, setup);
        results[c.name].setupBytes = fs::file_size(setup);
        setups[c.name] = setup;
    }
    // One run of each first, checking every byte: Wine maps its own DLLs and the page cache takes
    // the installers.
    for (const Contender& c : contenders)
        Install(settings, c, payload, setups[c.name], true);
    for (int run = 0; run < settings.runs; run++) {
        std::fprintf(stderr, "  install run %d of %d\n", run + 1, settings.runs);
        for (size_t i = 0; i < contenders.size(); i++) {
            // Alternate who goes first, so that neither always follows the other's clean-up.
            const Contender& c = contenders[run % 2 ? contenders.size() - 1 - i : i];
            results[c.name].installs.push_back(Install(settings, c, payload, setups[c.name]));
        }
    }
    return results;
}

// The Markdown a Windows benchmark prints.
std::string RunWindowsBench(const Settings& settings, const std::string& program,
                            const std::vector<std::string>& arguments)
{
    std::fprintf(stderr, "install-benchmark: %s\n", program.c_str());
    std::vector<std::string> command = {"wine", (settings.winBench / program).string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    RunMeasure run = RunMeasured(command);
    if (run.exitCode != 0)
        Fail(program + " exited with " + std::to_string(run.exitCode), run.output);
    return run.output;
}

// The commit of the sources the tools folder belongs to, and whether they were changed since.
std::string CommitMeasured(const fs::path& tools)
{
    std::string repository = "'" + (tools / "..").string() + "'";
    std::string commit, changed;
    if (FILE* output = popen(("git -C " + repository + " rev-parse --short=10 HEAD 2>/dev/null").c_str(), "r")) {
        char line[128];
        if (std::fgets(line, sizeof line, output))
            commit = line;
        pclose(output);
    }
    if (FILE* output = popen(("git -C " + repository + " status --porcelain --untracked-files=no 2>/dev/null").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, output))
            changed = " with uncommitted changes";
        pclose(output);
    }
    while (!commit.empty() && (commit.back() == '\n' || commit.back() == '\r'))
        commit.pop_back();
    return commit.empty() ? "an unknown commit (not a git checkout)" : "commit " + commit + changed;
}

std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five;
    file >> one >> five;
    return one + " / " + five;
}

Settings ParseArguments(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::printf(
                "usage: install-benchmark --pack LUMIVO-PACK --stub STUB.exe --work WORK-DIR --tools "
                "TOOLS-DIR\n"
                "                         [--runs N] [--only dlls|small|program|large|update] [--win-bench BIN-DIR]\n"
                "                         [--baseline-stub STUB.exe]\n"
                "Packs each payload with lumivo-pack (--codec deflate, --codec lzma, and --codec lzma\n"
                "--block-size 32M, each twice to check that it gives the same bytes) and with makensis\n"
                "(zlib and solid LZMA), installs each installer N times (5) under Wine, alternating, and\n"
                "writes one table per payload to WORK-DIR/results.md, with the ratios the codec\n"
                "decisions rest on. With --win-bench, lumivo-pipeline-bench.exe and\n"
                "lumivo-file-calls-bench.exe from BIN-DIR add their tables.\n"
                "The payloads: about 100 MB of Windows DLLs, 5,000 small files, and one program of about\n"
                "100 MB (node.exe, fetched once with TOOLS-DIR/fetch-npm-package into WORK-DIR/npm).\n"
                "--only large measures 1 GB that does not compress instead (about 7 GB of disk, and\n"
                "about 25 minutes: makensis packs it with LZMA at about 1.5 MB/s).\n"
                "The update installer: two releases of a program from npm, full and as an update\n"
                "(--only update for this alone).\n"
                "--baseline-stub adds the same installers behind another build's stub, in the same run.\n");
            std::exit(0);
        }
        if (i + 1 >= argc)
            Fail("missing value after " + arg);
        std::string value = argv[++i];
        if (arg == "--pack")
            settings.pack = fs::absolute(value);
        else if (arg == "--stub")
            settings.stub = fs::absolute(value);
        else if (arg == "--work")
            settings.work = fs::absolute(value);
        else if (arg == "--tools")
            settings.tools = fs::absolute(value);
        else if (arg == "--runs")
            settings.runs = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--baseline-stub")
            settings.baselineStub = fs::absolute(value);
        else if (arg == "--win-bench")
            settings.winBench = fs::absolute(value);
        else if (arg == "--only")
            settings.only = value;
        else
            Fail("unknown option " + arg + " (see --help)");
    }
    if (settings.pack.empty() || settings.stub.empty() || settings.work.empty() || settings.tools.empty())
        Fail("--pack, --stub, --work and --tools are required (see --help)");
    if (!settings.only.empty() && settings.only != "dlls" && settings.only != "small" &&
        settings.only != "program" && settings.only != "large" && settings.only != "update")
        Fail("--only takes dlls, small, program, large or update");
    return settings;
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings = ParseArguments(argc, argv);
    fs::create_directories(settings.work);
    setenv("WINEPREFIX", WinePrefix(settings).c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
    setenv("LUMIVO_WINE_DESKTOP", "LumivoBench", 1);
    std::vector<Contender> contenders = Contenders({settings.pack, settings.stub, settings.baselineStub});
    // Everything is looked for before the first payload is made: a missing tool fails here, by
    // name, rather than as an empty cell after minutes of packing.
    std::string missing = MissingTools(contenders);
    UpdateBenchSettings update = {settings.pack,  settings.stub,        settings.work,
                                  settings.tools, WinePrefix(settings), settings.runs};
    bool measureUpdate = settings.only.empty() || settings.only == "update";
    if (measureUpdate)
        missing += UpdateBenchMissing(update);
    if (!settings.winBench.empty())
        for (const char* program : {"lumivo-pipeline-bench.exe", "lumivo-file-calls-bench.exe"})
            if (!fs::is_regular_file(settings.winBench / program))
                missing += "  --win-bench needs " + (settings.winBench / program).string() +
                           ", which does not exist\n";
    bool program = settings.only.empty() || settings.only == "program";
    if (program && !fs::exists(settings.work / "program") && RunShell("command -v npm >/dev/null 2>&1") != 0)
        missing += "  'npm' is not there or cannot be run (the program payload fetches node.exe with it once; "
                   "tools/bootstrap bench installs it)\n";
    if (!missing.empty())
        Fail("cannot measure every contender (tools/bootstrap installs the Debian packages, make builds the "
             "rest):",
             missing);
    if (RunShell("'" + (settings.tools / "wine-prefix").string() + "'") != 0)
        Fail("the Wine prefix could not be made");
    // One server for the whole run, so that no run pays for starting it.
    RunShell("wineserver -p </dev/null >/dev/null 2>&1");

    std::vector<BenchPayload> payloads;
    std::fprintf(stderr, "install-benchmark: making the payloads under %s\n", settings.work.c_str());
    if (settings.only.empty() || settings.only == "dlls")
        payloads.push_back(DllPayload(settings.work));
    if (settings.only.empty() || settings.only == "small")
        payloads.push_back(SmallFilesPayload(settings.work));
    if (settings.only.empty() || settings.only == "program") {
        try {
            payloads.push_back(ProgramPayload(settings.work, settings.tools));
        } catch (const std::exception& error) {
            Fail(std::string("the program payload could not be made: ") + error.what());
        }
    }
    if (settings.only == "large")
        payloads.push_back(LargePayload(settings.work));

    std::string loadBefore = LoadAverage();
    std::string tables, pipelineRows;
    for (const BenchPayload& payload : payloads) {
        std::fprintf(stderr, "install-benchmark: %s\n", payload.title.c_str());
        fs::path folder = settings.work / ("setups-" + payload.files.filename().string());
        fs::create_directories(folder);
        std::string load = LoadAverage();
        std::map<std::string, Results> results = Measure(settings, contenders, payload, folder);
        // The targets: no larger than NSIS's solid LZMA, a little more on many small files; no slower
        // to install, and twice as fast on 1 GB.
        double sizeLimit = payload.files.filename() == "small" ? 1.05 : 1.0;
        double installLimit = payload.files.filename() == "large" ? 0.5 : 1.0;
        tables += Table(payload, contenders, results, settings.runs) + "\nLoad average (1 / 5 min) " + load +
                  " before this payload and " + LoadAverage() + " after.\n" +
                  Verdicts(contenders, results, settings.runs, sizeLimit, installLimit) + "\n";
        // The pipeline reads the installers that the stub installs.
        if (!settings.winBench.empty() && settings.only != "large")
            for (const Contender& c : contenders)
                if (c.name.rfind("Lumivo ", 0) == 0 && c.name != "Lumivo baseline")
                    pipelineRows += RunWindowsBench(
                        settings, "lumivo-pipeline-bench.exe",
                        {(folder / (FileNameOf(c.name) + "-setup.exe")).string(), payload.title + ", " + c.name.substr(7)});
    }
    if (measureUpdate)
        tables += UpdateSection(update);
    if (!settings.winBench.empty() && settings.only != "large" && settings.only != "update") {
        tables +=
            "Reading every entry without writing it: ReadEntry in order against the read-ahead pipeline "
            "(medians of 3; the last column is the pipeline's time over ReadEntry's).\n\n"
            "| payload | ReadEntry in order | pipeline, 1 worker | pipeline, one worker per core | ratio |\n"
            "|---|---|---|---|---|\n" +
            pipelineRows + "\n";
        fs::remove_all(UnixPathOf(settings, "C:\\bench\\calls"));
        tables += "What each file system call costs under Wine:\n\n" +
                  RunWindowsBench(settings, "lumivo-file-calls-bench.exe", {"C:\\bench\\calls"});
        fs::remove_all(UnixPathOf(settings, "C:\\bench\\calls"));
    }
    RunShell("wineserver -k </dev/null >/dev/null 2>&1");

    std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
    std::ostringstream report;
    report
        << "# Install benchmark, " << date << "\n\n"
        << "Measured " << CommitMeasured(settings.tools) << ". "
        << std::thread::hardware_concurrency() << " cores, load average (1 / 5 min) " << loadBefore
        << " before and " << LoadAverage() << " after. Installs under Wine into an empty folder, "
        << "one persistent wine server, runs alternated; Lumivo in update mode (files only), NSIS with /S. "
        << "Private memory is anonymous resident memory sampled every 2 ms; resident memory is the "
        << "kernel's high-water mark. Ratios below 1 favour the first.\n\n"
        << tables;
    std::fputs(report.str().c_str(), stdout);
    std::ofstream(settings.work / "results.md") << report.str();
    return 0;
}
