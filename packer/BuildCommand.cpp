#include "packer/BuildCommand.h"

#include "packer/CommandLine.h"
#include "packer/EntryName.h"
#include "packer/EntryPacker.h"
#include "packer/FileTime.h"
#include "packer/HelpText.h"
#include "packer/IconFile.h"
#include "packer/PackError.h"
#include "packer/ParallelJobs.h"
#include "packer/PeImage.h"
#include "packer/Progress.h"
#include "packer/ScriptKeys.h"
#include "packer/SetupImage.h"
#include "packer/SetupReader.h"
#include "packer/SetupWriter.h"
#include "packer/SolidPacker.h"
#include "packer/StubDebugInfo.h"
#include "packer/UpdateBuild.h"
#include "packer/VersionInfo.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <set>
#include <thread>
#include <utility>

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
    try {
        bytes = WithoutDebugInfo(std::move(bytes));
        PeLayout layout = ReadPeLayout(bytes.data(), bytes.size());
        CheckRebuildable(layout, bytes.size());
        ReadResources(bytes.data(), bytes.size(), layout);
    } catch (const PeFormatError& error) {
        Refuse("the stub " + Shown(stub) + " is not a PE image that can carry the archive: " + error.message);
    }
    size_t offset, length;
    // The installer reads resource 103 before any appended archive: a stub with one of its own
    // is a built setup program, not a stub.
    if (FindPeResource(bytes.data(), bytes.size(), ResourceTypeRcData, ArchiveResourceId, offset, length) &&
        length > 0)
        Refuse("the stub " + Shown(stub) + " carries an archive resource (103) of its own: it is a setup "
               "program, not a stub");
    return bytes;
}

static std::vector<IconImage> ReadIcon(const fs::path& icon)
{
    try {
        return ReadIconFile(ReadWholeFile(icon));
    } catch (const PackError& error) {
        Refuse(error.message);
    } catch (const PeFormatError& error) {
        Refuse("the icon " + Shown(icon) + " is malformed: " + error.message);
    }
}

// The version information from install.script, in place of any the stub has.
static void SetVersionInfo(std::vector<ResourceItem>& resources, const fs::path& appDir, const fs::path& output)
{
    ScriptKeys keys = ReadScriptKeys(appDir);
    VersionStrings strings;
    strings.productName = keys.value(u"name", u"nazwa");
    strings.fileDescription = strings.productName.empty() ? u"Setup" : strings.productName + u" Setup";
    strings.companyName = keys.value(u"publisher");
    strings.legalCopyright = keys.value(u"copyright");
    strings.version = keys.value(u"version");
    Utf8ToUtf16(output.filename().string(), strings.originalFilename);
    std::vector<ResourceItem> kept;
    for (ResourceItem& item : resources)
        if (!item.type.isId(ResourceTypeVersion))
            kept.push_back(std::move(item));
    ResourceItem version;
    version.type.id = ResourceTypeVersion;
    version.name.id = 1;
    version.data.own(VersionInfoResource(strings));
    kept.push_back(std::move(version));
    resources = std::move(kept);
}

// The image's time stamp: SOURCE_DATE_EPOCH when it is set and fits, else the stub's own.
static std::optional<uint32_t> ImageTimeStamp(std::optional<uint64_t> fixedTime)
{
    const uint64_t unixEpoch = 116444736000000000ull; // 1970 as a FILETIME
    if (!fixedTime || *fixedTime < unixEpoch || (*fixedTime - unixEpoch) / 10000000 > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<uint32_t>((*fixedTime - unixEpoch) / 10000000);
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

// The files on disk (device and inode) that a solid build stores raw: looked at once, on all cores.
typedef std::set<std::pair<uint64_t, uint64_t>> FileIdentities;
static FileIdentities IncompressibleFiles(const std::vector<PayloadFile>& files, int jobs)
{
    std::vector<size_t> large;
    for (size_t i = 0; i < files.size(); i++)
        if (files[i].size >= (1 << 20))
            large.push_back(i);
    std::vector<char> noise(files.size(), 0);
    RunParallel(large, jobs, [&](size_t i) { noise[i] = FileLooksIncompressible(files[i]); }, [] {});
    FileIdentities identities;
    for (size_t i : large)
        if (noise[i])
            identities.emplace(files[i].device, files[i].inode);
    return identities;
}

static SolidPlan PlanSolid(const std::vector<PayloadFile>& files, const BuildOptions& options,
                           const FileIdentities& raw)
{
    return PlanSolidArchive(files, ReadScriptKeys(options.appDir), options.blockSize, [&](size_t i) {
        return raw.count(std::make_pair(files[i].device, files[i].inode)) > 0;
    });
}

void BuildSetup(const BuildOptions& options)
{
    CheckAppDir(options.appDir);
    std::vector<uint8_t> stub = ReadStub(options.stub);
    SetupParts parts;
    parts.stub = &stub;
    parts.resources = StubResources(stub, ReadPeLayout(stub.data(), stub.size()));
    parts.appended = options.appended;
    if (!options.icon.empty())
        ReplaceIconGroup(parts.resources, IconGroupId, ReadIcon(options.icon));

    PayloadList payload;
    payload.fixedTime = SourceDateEpoch();
    payload.skipped = options.output;
    payload.followLinks = options.followLinks;
    AddFolder(payload, options.appDir);
    for (const fs::path& folder : options.extraFolders)
        AddFolder(payload, folder);
    if (!options.uninstaller.empty())
        AddUninstaller(payload, options.uninstaller);
    CheckPayload(payload);
    OrderPayload(payload);
    SetVersionInfo(parts.resources, options.appDir, options.output);
    parts.timeDateStamp = ImageTimeStamp(payload.fixedTime);

    bool solid = options.codec == EntryCodec::Lzma && options.solid;
    FileIdentities raw;
    if (solid)
        raw = IncompressibleFiles(payload.files, options.jobs);
    std::unique_ptr<UpdateBase> base;
    std::unique_ptr<UpdateBuild> update;
    if (!options.base.empty()) {
        if (solid) {
            // In the order of the full installer's records, so that both list and install the files
            // alike (the data file they write too).
            SolidPlan plan = PlanSolid(payload.files, options, raw);
            std::vector<PayloadFile> ordered;
            for (size_t index : plan.ownRecords)
                ordered.push_back(payload.files[index]);
            for (size_t index : plan.rawRecords)
                ordered.push_back(payload.files[index]);
            for (const std::vector<SolidGroup>& block : plan.blocks)
                for (const SolidGroup& group : block)
                    for (size_t index : group)
                        ordered.push_back(payload.files[index]);
            payload.files = std::move(ordered);
        }
        base = std::make_unique<UpdateBase>(LoadUpdateBase(options.base));
        update = std::make_unique<UpdateBuild>();
        PlanUpdateBuild(*update, *base, payload.files, ReadScriptKeys(options.appDir));
    }

    uint64_t totalBytes = 0;
    for (const PayloadFile& file : payload.files)
        totalBytes += file.size;
    // The first solid block starts from the stub's code, which the setup program keeps as it is.
    std::vector<uint8_t> codeBytes;
    if (solid)
        codeBytes = ProgramCodeOf(stub);
    ProgramCode code = {codeBytes.empty() ? nullptr : codeBytes.data(), static_cast<int32_t>(codeBytes.size())};
    Progress progress(payload.files.size(), totalBytes, options.quiet);
    PackedArchive packed;
    size_t blocks = 0;
    // An update installer keeps or patches each file on its own: it is never packed in blocks.
    if (solid && !update) {
        SolidPlan plan = PlanSolid(payload.files, options, raw);
        blocks = plan.blocks.size();
        packed = PackSolidArchive(payload.files, plan, options.jobs, progress, code);
    } else {
        packed.records = payload.files;
        packed.entries = PackFiles(payload.files, options.level, options.jobs, progress, options.codec,
                                   update ? UpdateChooser(*update) : EntryChooser());
    }
    uint64_t fullSize = 0;
    size_t fileCount = payload.files.size();
    if (update) {
        if (solid) {
            // The full installer of the folder is packed in blocks: weighed by packing them.
            Progress quiet(payload.files.size(), totalBytes, true);
            SolidPlan plan = PlanSolid(payload.files, options, raw);
            PackedArchive full = PackSolidArchive(payload.files, plan, options.jobs, quiet, code);
            fullSize = SetupSize(options.output, parts, ArchiveLength(full.records, full.entries));
        } else {
            fullSize = SetupSize(options.output, parts, FullArchiveLength(*update, payload.files));
        }
        AddUpdateRecord(*update, packed.records, packed.entries, payload.fixedTime.value_or(0));
    }
    bool appended = WriteSetup(options.output, parts, packed.records, packed.entries);

    if (!options.quiet) {
        uint64_t archive = ArchiveLength(packed.records, packed.entries);
        std::string solid = blocks ? " with " + std::to_string(blocks) + " solid block" + (blocks > 1 ? "s" : "") : "";
        std::fprintf(stderr,
                     "lumivo-pack: wrote %s: %zu entries, %llu bytes of files in an archive of %llu bytes%s (%s)\n",
                     options.output.c_str(), fileCount, static_cast<unsigned long long>(totalBytes),
                     static_cast<unsigned long long>(archive), solid.c_str(), appended ? "appended" : "in resource 103");
        if (update) {
            std::error_code error;
            uint64_t size = std::filesystem::file_size(options.output, error);
            size_t kept = update->kept, patched = update->patched;
            std::fprintf(
                stderr,
                "lumivo-pack: an update over version \"%s\": %zu files kept, %zu patched, %zu stored "
                "whole, %zu removed; the update is %llu bytes, the full installer %llu bytes (%.1f %%)\n",
                Utf16ToUtf8(base->version()).c_str(), kept, patched, fileCount - kept - patched,
                update->removed.size(), static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(fullSize), fullSize ? 100.0 * size / fullSize : 0.0);
        }
    }
}

// A size in bytes, or in KiB, MiB or GiB with the suffix K, M or G.
static uint64_t BlockSizeOption(const CommandLine& line)
{
    std::string text = line.value("--block-size"), digits = text;
    uint64_t unit = 1, value = 0;
    if (!digits.empty() && std::string("KkMmGg").find(digits.back()) != std::string::npos) {
        char suffix = static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
        unit = suffix == 'K' ? 1ull << 10 : suffix == 'M' ? 1ull << 20 : 1ull << 30;
        digits.pop_back();
    }
    bool good = !digits.empty() && digits.size() <= 10;
    for (char c : digits)
        good = good && c >= '0' && c <= '9';
    if (good)
        value = std::stoull(digits) * unit;
    const uint64_t low = 64ull << 10, high = 2047ull << 20;
    if (!good || value < low || value > high)
        Refuse("option --block-size takes a size from 64K to 2047M (bytes, or with K, M or G), not \"" + text +
               "\"");
    return value;
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
    // An installed packer (PREFIX/bin) finds the stub in PREFIX/share/lumivo; a built one beside it.
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return "lumivo-stub.exe";
    fs::path installed = (self.parent_path() / ".." / "share" / "lumivo" / "lumivo-stub.exe").lexically_normal();
    fs::path beside = self.parent_path() / "lumivo-stub.exe";
    return fs::exists(installed, error) || !fs::exists(beside, error) ? installed : beside;
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
                                         {"", "--icon", true},
                                         {"", "--appended", false},
                                         {"", "--uninstaller", true},
                                         {"", "--no-uninstaller", false},
                                         {"", "--level", true},
                                         {"", "--codec", true},
                                         {"", "--no-solid", false},
                                         {"", "--block-size", true},
                                         {"", "--jobs", true},
                                         {"", "--follow-links", false},
                                         {"", "--base", true},
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
    options.icon = line.value("--icon");
    options.appended = line.has("--appended");
    if (line.has("--no-uninstaller"))
        options.uninstaller.clear();
    else
        options.uninstaller = line.has("--uninstaller") ? fs::path(line.value("--uninstaller")) : DefaultUninstaller();
    options.codec = CodecOption(line);
    if (options.codec == EntryCodec::Lzma && line.has("--level"))
        Refuse("--level sets the deflate level; --codec lzma always packs at liblzma's preset 9 extreme");
    options.level = line.has("--level") ? IntegerOption(line, "--level", 12, 1, 12) : LevelBySize;
    if (options.codec != EntryCodec::Lzma && (line.has("--no-solid") || line.has("--block-size")))
        Refuse(std::string(line.has("--no-solid") ? "--no-solid" : "--block-size") +
               " is about solid LZMA blocks: it goes with --codec lzma");
    if (line.has("--no-solid") && line.has("--block-size"))
        Refuse("--block-size sets the size of solid blocks, which --no-solid turns off");
    options.solid = !line.has("--no-solid");
    options.blockSize = line.has("--block-size") ? BlockSizeOption(line) : 0;
    int cores = static_cast<int>(std::thread::hardware_concurrency());
    options.jobs = IntegerOption(line, "--jobs", cores > 0 ? cores : 1, 1, 1024);
    options.quiet = line.has("--quiet");
    options.followLinks = line.has("--follow-links");
    options.base = line.value("--base");
    BuildSetup(options);
    return ExitOk;
}
