#include "packer/BuildCommand.h"

#include "packer/CommandLine.h"
#include "packer/EntryName.h"
#include "packer/EntryPacker.h"
#include "packer/HelpText.h"
#include "packer/PackError.h"
#include "packer/PeImage.h"
#include "packer/Progress.h"
#include "packer/SetupReader.h"
#include "packer/SetupWriter.h"

#include <cstdio>
#include <thread>

namespace fs = std::filesystem;

static std::string Shown(const fs::path& path)
{
    return "\"" + path.string() + "\"";
}

static void CheckAppDir(const fs::path& appDir)
{
    std::error_code error;
    if (!fs::is_directory(appDir, error))
        Refuse(Shown(appDir) + " is not a folder");
    fs::directory_iterator items(appDir, error);
    if (error)
        Refuse("cannot read the folder " + Shown(appDir) + ": " + error.message());
    for (const fs::directory_entry& item : items) {
        std::u16string name;
        std::error_code typeError;
        if (Utf8ToUtf16(item.path().filename().string(), name) && FoldedName(name) == u"install.script" &&
            item.is_regular_file(typeError))
            return;
    }
    Refuse(Shown(appDir) + " holds no install.script");
}

static std::vector<uint8_t> ReadStub(const fs::path& stub)
{
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeFile(stub);
    } catch (const PackError& error) {
        Refuse(error.message);
    }
    if (!IsPeImage(bytes.data(), bytes.size()))
        Refuse("the stub " + Shown(stub) + " is not a PE image");
    size_t offset, length;
    // The installer reads resource 103 before any appended archive: ours would never be seen.
    if (FindPeResource(bytes.data(), bytes.size(), ResourceTypeRcData, ArchiveResourceId, offset, length) &&
        length > 0)
        Refuse("the stub " + Shown(stub) + " carries an archive resource (103) of its own, which the installer "
               "would read instead of the appended one");
    return bytes;
}

// The uninstaller under the names that the installer unpacks for an all-users and a per-user
// installation, unless the application brings its own.
static void AddUninstaller(PayloadList& payload, const fs::path& uninstaller)
{
    for (const char16_t* name : {u"_de_install.exe", u"_de_installu.exe"}) {
        bool present = false;
        for (const PayloadFile& file : payload.files)
            present = present || FoldedName(file.units) == name;
        if (present)
            continue;
        std::vector<uint8_t> bytes;
        try {
            bytes = ReadWholeFile(uninstaller);
        } catch (const PackError& error) {
            Refuse(error.message + " (the uninstaller; --no-uninstaller packs none)");
        }
        if (!IsPeImage(bytes.data(), bytes.size()))
            Refuse("the uninstaller " + Shown(uninstaller) + " is not a PE image");
        AddFile(payload, name == std::u16string(u"_de_install.exe") ? "_de_install.exe" : "_de_installu.exe",
                uninstaller);
    }
}

void BuildSetup(const BuildOptions& options)
{
    CheckAppDir(options.appDir);
    std::vector<uint8_t> stub = ReadStub(options.stub);

    PayloadList payload;
    payload.fixedTime = SourceDateEpoch();
    payload.skipped = options.output;
    AddFolder(payload, options.appDir);
    for (const fs::path& folder : options.extraFolders)
        AddFolder(payload, folder);
    if (!options.uninstaller.empty())
        AddUninstaller(payload, options.uninstaller);
    CheckPayload(payload);
    OrderPayload(payload);

    uint64_t totalBytes = 0;
    for (const PayloadFile& file : payload.files)
        totalBytes += file.size;
    Progress progress(payload.files.size(), totalBytes, options.quiet);
    std::vector<PackedEntry> entries =
        PackFiles(payload.files, options.level, options.jobs, progress, options.codec);
    WriteSetup(options.output, stub, payload.files, entries);

    if (!options.quiet) {
        uint64_t archive = ArchiveLength(payload.files, entries);
        std::fprintf(stderr, "lumivo-pack: wrote %s: %zu entries, %llu bytes of files in an archive of %llu bytes\n",
                     options.output.c_str(), payload.files.size(), static_cast<unsigned long long>(totalBytes),
                     static_cast<unsigned long long>(archive));
    }
}

static EntryCodec CodecOption(const CommandLine& line)
{
    std::string codec = line.value("--codec", "deflate");
    if (codec == "deflate")
        return EntryCodec::Deflate;
    if (codec == "lzma")
        return EntryCodec::Lzma;
    Refuse("option --codec takes deflate or lzma, not \"" + codec + "\"");
}

fs::path DefaultStub()
{
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path("lumivo-stub.exe") : self.parent_path() / "lumivo-stub.exe";
}

fs::path DefaultUninstaller()
{
    return DefaultStub().parent_path() / "lumivo-uninstall.exe";
}

int RunBuild(const std::vector<std::string>& args)
{
    CommandLine line = ParseCommandLine(args,
                                        {{"-o", "--output", true},
                                         {"", "--stub", true},
                                         {"", "--uninstaller", true},
                                         {"", "--no-uninstaller", false},
                                         {"", "--level", true},
                                         {"", "--codec", true},
                                         {"", "--jobs", true},
                                         {"-q", "--quiet", false}},
                                        "build");
    if (line.help) {
        std::fputs(HelpText("build").c_str(), stdout);
        return ExitOk;
    }
    if (line.operands.size() != 1)
        Refuse("build takes one application folder (see lumivo-pack build --help)");
    if (line.value("--output").empty())
        Refuse("build needs the setup program to write: -o SETUP.exe");
    BuildOptions options;
    options.appDir = line.operands[0];
    options.output = line.value("--output");
    options.stub = line.has("--stub") ? fs::path(line.value("--stub")) : DefaultStub();
    if (line.has("--no-uninstaller"))
        options.uninstaller.clear();
    else
        options.uninstaller = line.has("--uninstaller") ? fs::path(line.value("--uninstaller")) : DefaultUninstaller();
    options.codec = CodecOption(line);
    if (options.codec == EntryCodec::Lzma && line.has("--level"))
        Refuse("--level sets the deflate level; --codec lzma always packs at liblzma's preset 9 extreme");
    options.level = IntegerOption(line, "--level", 12, 1, 12);
    int cores = static_cast<int>(std::thread::hardware_concurrency());
    options.jobs = IntegerOption(line, "--jobs", cores > 0 ? cores : 1, 1, 1024);
    options.quiet = line.has("--quiet");
    BuildSetup(options);
    return ExitOk;
}
