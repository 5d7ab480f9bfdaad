#include "UpdateBenchmark.h"

#include "BenchPayload.h"
#include "BenchRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// esbuild's Windows program, 11.3 MB: two releases a month apart.
const char Package[] = "@esbuild/win32-x64";
const char OldVersion[] = "0.27.0";
const char NewVersion[] = "0.27.1";
const char ProgramName[] = "esbuild";
const char InstallDir[] = "C:\\bench\\update";

[[noreturn]] void Fail(const std::string& what, const std::string& output = "")
{
    std::fprintf(stderr, "install-benchmark: %s\n%s", what.c_str(), output.c_str());
    std::exit(1);
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The release unpacked by tools/fetch-npm-package, as an application folder with its script.
fs::path Release(const UpdateBenchSettings& settings, const char* version)
{
    RunMeasure fetch = RunMeasured({(settings.tools / "fetch-npm-package").string(), Package, version,
                                    (settings.work / "npm").string()});
    if (fetch.exitCode != 0)
        Fail(std::string("cannot fetch ") + Package + "@" + version + " from npm", fetch.output);
    std::string unpacked = fetch.output.substr(0, fetch.output.find('\n'));
    fs::path app = settings.work / "update" / version;
    fs::remove_all(app);
    fs::create_directories(app);
    for (const fs::directory_entry& item : fs::directory_iterator(unpacked))
        if (item.is_regular_file() && item.path().filename() != ".complete")
            fs::copy_file(item.path(), app / item.path().filename());
    std::ofstream(app / "install.script")
        << "name=" << ProgramName << "\nversion=" << version << "\nexe-file=esbuild.exe\ncopy-files=*\n";
    return app;
}

double Pack(const UpdateBenchSettings& settings, const fs::path& app, const fs::path& setup,
            const std::vector<std::string>& more)
{
    std::vector<std::string> command = {
        settings.pack.string(), "build",   app.string(), "-o", setup.string(), "--stub",
        settings.stub.string(), "--codec", "lzma",       "-q"};
    command.insert(command.end(), more.begin(), more.end());
    std::fprintf(stderr, "  packing %s\n", setup.filename().c_str());
    RunMeasure run = RunMeasured(command);
    if (run.exitCode != 0)
        Fail("packing " + setup.string() + " failed", run.output);
    return run.wallSeconds;
}

fs::path Target(const UpdateBenchSettings& settings)
{
    std::string rest = std::string(InstallDir).substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return settings.prefix / "drive_c" / rest;
}

RunMeasure InstallInUpdateMode(const fs::path& setup)
{
    return RunMeasured({"wine", setup.string(), "--UPDATE", InstallDir});
}

// The first release installed, then setup measured over it; the result checked against the
// second release, byte for byte when compareBytes.
RunMeasure Upgrade(const UpdateBenchSettings& settings, const fs::path& base, const fs::path& setup,
                   const fs::path& expected, bool compareBytes)
{
    fs::path target = Target(settings);
    fs::remove_all(target);
    fs::create_directories(target.parent_path());
    RunMeasure first = InstallInUpdateMode(base);
    if (first.exitCode != 0)
        Fail("the first release's installer exited with " + std::to_string(first.exitCode), first.output);
    RunMeasure run = InstallInUpdateMode(setup);
    if (run.exitCode != 0)
        Fail(setup.filename().string() + " exited with " + std::to_string(run.exitCode), run.output);
    for (const fs::directory_entry& item : fs::directory_iterator(expected)) {
        if (item.path().filename() == "install.script")
            continue;
        fs::path installed = target / item.path().filename();
        std::error_code error;
        if (fs::file_size(installed, error) != item.file_size() || error ||
            (compareBytes && ReadFileBytes(installed) != ReadFileBytes(item.path())))
            Fail(setup.filename().string() + " did not install " + installed.string() + " as released");
    }
    fs::remove_all(target);
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Measured {
    uint64_t size = 0;
    double packSeconds = 0;
    std::vector<RunMeasure> runs;
    double median(double RunMeasure::*field) const
    {
        std::vector<double> values;
        for (const RunMeasure& run : runs)
            values.push_back(run.*field);
        return Median(values);
    }
    double median(uint64_t RunMeasure::*field) const
    {
        std::vector<double> values;
        for (const RunMeasure& run : runs)
            values.push_back(static_cast<double>(run.*field));
        return Median(values);
    }
};

} // namespace

std::string UpdateBenchMissing(const UpdateBenchSettings& settings)
{
    std::string missing;
    if (RunShell("command -v npm >/dev/null 2>&1") != 0)
        missing += "  'npm' is not there (the update installer's payload comes from npm)\n";
    if (access((settings.tools / "fetch-npm-package").c_str(), X_OK) != 0)
        missing += "  " + (settings.tools / "fetch-npm-package").string() + " cannot be run\n";
    return missing;
}

std::string UpdateSection(const UpdateBenchSettings& settings)
{
    std::fprintf(stderr, "install-benchmark: the update installer, %s %s over %s\n", Package, NewVersion,
                 OldVersion);
    fs::path oldApp = Release(settings, OldVersion), newApp = Release(settings, NewVersion);
    fs::path folder = settings.work / "setups-update";
    fs::create_directories(folder);
    fs::path base = folder / "base-setup.exe", full = folder / "full-setup.exe",
             update = folder / "update-setup.exe";
    Pack(settings, oldApp, base, {});
    std::map<std::string, Measured> results;
    results["full"].packSeconds = Pack(settings, newApp, full, {});
    results["update"].packSeconds = Pack(settings, newApp, update, {"--base", base.string()});
    results["full"].size = fs::file_size(full);
    results["update"].size = fs::file_size(update);

    const std::pair<std::string, fs::path> setups[] = {{"full", full}, {"update", update}};
    for (const auto& [name, setup] : setups)
        Upgrade(settings, base, setup, newApp, true);
    for (int run = 0; run < settings.runs; run++) {
        std::fprintf(stderr, "  update run %d of %d\n", run + 1, settings.runs);
        for (int i = 0; i < 2; i++) {
            const auto& [name, setup] = setups[run % 2 ? 1 - i : i];
            results[name].runs.push_back(Upgrade(settings, base, setup, newApp, false));
        }
    }

    const Measured& f = results["full"];
    const Measured& u = results["update"];
    auto row = [](const std::string& label, const std::string& a, const std::string& b, double ratio) {
        return "| " + label + " | " + a + " | " + b + " | " + Format("%.2f", ratio) + " |\n";
    };
    auto mb = [](double bytes) { return Format("%.2f MB", bytes / 1e6); };
    double fullWall = f.median(&RunMeasure::wallSeconds), updateWall = u.median(&RunMeasure::wallSeconds);
    double fullCpu = f.median(&RunMeasure::userSeconds) + f.median(&RunMeasure::systemSeconds);
    double updateCpu = u.median(&RunMeasure::userSeconds) + u.median(&RunMeasure::systemSeconds);
    std::ostringstream out;
    out << "Update installer: " << Package << " " << NewVersion << " over " << OldVersion << " ("
        << mb(static_cast<double>(fs::file_size(newApp / "esbuild.exe")))
        << " program), the full LZMA installer "
        << "and the update (--codec lzma --base), each installed in update mode over an installation of "
        << OldVersion << ", runs alternated.\n\n"
        << "| | full installer | update installer | update / full |\n|---|---|---|---|\n"
        << row("installer size", mb(static_cast<double>(f.size)), mb(static_cast<double>(u.size)),
               static_cast<double>(u.size) / static_cast<double>(f.size))
        << row("pack time", Format("%.2f s", f.packSeconds), Format("%.2f s", u.packSeconds),
               u.packSeconds / f.packSeconds)
        << row("install, wall (median of " + std::to_string(settings.runs) + ")", Format("%.2f s", fullWall),
               Format("%.2f s", updateWall), updateWall / fullWall)
        << row("install, user + sys CPU", Format("%.2f s", fullCpu), Format("%.2f s", updateCpu),
               updateCpu / fullCpu)
        << row("peak private memory", mb(f.median(&RunMeasure::peakPrivateBytes)),
               mb(u.median(&RunMeasure::peakPrivateBytes)),
               u.median(&RunMeasure::peakPrivateBytes) / f.median(&RunMeasure::peakPrivateBytes))
        << row("peak resident memory", mb(f.median(&RunMeasure::peakRssBytes)),
               mb(u.median(&RunMeasure::peakRssBytes)),
               u.median(&RunMeasure::peakRssBytes) / f.median(&RunMeasure::peakRssBytes))
        << "\n- Update size " << Format("%.2f", static_cast<double>(u.size) / static_cast<double>(f.size))
        << " of the full installer's (at most 0.33: "
        << (static_cast<double>(u.size) * 3 <= static_cast<double>(f.size) ? "met" : "not met")
        << "); install time " << Format("%.2f", updateWall / fullWall)
        << " of the full installer's (below 1: " << (updateWall < fullWall ? "met" : "not met") << ").\n\n";
    return out.str();
}
