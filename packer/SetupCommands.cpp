#include "packer/SetupCommands.h"

#include "archive/ArchiveFormat.h"
#include "packer/AtomicFile.h"
#include "packer/CommandLine.h"
#include "packer/EntryName.h"
#include "packer/FileTime.h"
#include "packer/HelpText.h"
#include "packer/PackError.h"
#include "packer/SetupReader.h"
#include "packer/UpdateEntries.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

namespace fs = std::filesystem;

static std::u16string NameOf(const ArchiveEntry& entry)
{
    std::u16string name;
    for (int32_t i = 0; i < entry.nameLength; i++)
        name += static_cast<char16_t>(EntryNameUnit(entry, i));
    return name;
}

// The one operand of list and verify, after --help has been handled.
static bool SetupOperand(const std::vector<std::string>& args, const std::string& command, fs::path& setup)
{
    CommandLine line = ParseCommandLine(args, {}, command);
    if (line.help) {
        std::fputs(HelpText(command).c_str(), stdout);
        return false;
    }
    if (line.operands.size() != 1)
        Refuse(command + " takes one setup program (see lumivo-pack " + command + " --help)");
    setup = line.operands[0];
    return true;
}

// Reports on stderr when the records break off before the end record; true when they do not.
static bool CheckWalkEnd(const ArchiveWalk& walk, const fs::path& setup, size_t count)
{
    if (WalkReachedEndRecord(walk))
        return true;
    std::fprintf(stderr, "lumivo-pack: the archive of \"%s\" breaks off after %zu entries at offset %lld: %s\n",
                 setup.c_str(), count, static_cast<long long>(walk.offset),
                 walk.offset >= walk.length ? "no end record" : "a record is damaged or passes the end");
    return false;
}

// An update installer's base version and removed files; refuses a damaged update record.
static bool UpdateRecordOf(const SetupArchive& setup, const fs::path& path, UpdateRecordText& record)
{
    std::string why;
    bool update = ReadUpdateRecord(setup.base(), setup.length, record, why);
    if (!why.empty())
        Fail("the archive of \"" + path.string() + "\" is damaged: " + why);
    return update;
}

static bool IsUpdateEntry(const ArchiveEntry& entry)
{
    return entry.kind == EntryKindPatch || entry.kind == EntryKindKept;
}

int RunList(const std::vector<std::string>& args)
{
    fs::path path;
    if (!SetupOperand(args, "list", path))
        return ExitOk;
    SetupArchive setup = LoadSetupArchive(path);
    UpdateRecordText record;
    bool update = UpdateRecordOf(setup, path, record);
    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry entry;
    size_t count = 0;
    while (NextEntry(walk, entry)) {
        if (update && entry.kind == EntryKindUpdate)
            continue;
        count++;
        std::printf("%u %10d %10d %08x %s ", entry.kind, entry.packedSize, entry.size, entry.crc,
                    FileTimeText(entry.time).c_str());
        if (update)
            std::printf("%-5s ", EntryRole(entry));
        std::printf("%s\n", ShownName(NameOf(entry)).c_str());
    }
    if (update) {
        for (const std::u16string& name : record.removed)
            std::printf("removed %s\n", ShownName(name).c_str());
        std::printf("an update over version \"%s\"\n", ShownName(record.baseVersion).c_str());
    }
    return CheckWalkEnd(walk, path, count) ? ExitOk : ExitDamaged;
}

// The entry unpacked into a buffer of its size, or null when it is damaged (why says how).
static std::unique_ptr<uint8_t[]> Unpacked(const ArchiveEntry& entry, const char*& why)
{
    if (!DeclaredSizeIsPlausible(entry)) {
        why = "its size is more than its stored bytes can unpack to";
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[entry.size > 0 ? entry.size : 1]);
    switch (UnpackEntry(entry, bytes.get())) {
    case EntryCheck::Good:
        return bytes;
    case EntryCheck::BadCrc:
        why = "the CRC of its stored bytes is wrong";
        return nullptr;
    default:
        why = "it does not unpack to its size";
        return nullptr;
    }
}

// The base that --base names, for an update installer only.
static std::unique_ptr<UpdateBase> BaseOption(const CommandLine& line, bool update)
{
    if (!line.has("--base"))
        return nullptr;
    if (!update)
        Refuse("--base is for update installers; \"" + line.operands[0] + "\" is a full installer");
    return std::make_unique<UpdateBase>(LoadUpdateBase(line.value("--base")));
}

int RunVerify(const std::vector<std::string>& args)
{
    CommandLine line = ParseCommandLine(args, {{"", "--base", true}}, "verify");
    if (line.help) {
        std::fputs(HelpText("verify").c_str(), stdout);
        return ExitOk;
    }
    if (line.operands.size() != 1)
        Refuse("verify takes one setup program (see lumivo-pack verify --help)");
    fs::path path = line.operands[0];
    SetupArchive setup = LoadSetupArchive(path);
    UpdateRecordText record;
    bool update = UpdateRecordOf(setup, path, record);
    std::unique_ptr<UpdateBase> base = BaseOption(line, update);
    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry entry;
    size_t count = 0, damaged = 0, unchecked = 0;
    while (NextEntry(walk, entry)) {
        if (update && entry.kind == EntryKindUpdate)
            continue;
        count++;
        const char* why = "";
        bool good;
        if (update && IsUpdateEntry(entry) && base) {
            std::vector<uint8_t> bytes;
            good = UnpackAgainstBase(entry, base->find(NameOf(entry)), bytes, why);
        } else if (update && IsUpdateEntry(entry)) {
            good = CheckWithoutBase(entry, why);
            unchecked += good;
        } else {
            good = Unpacked(entry, why) != nullptr;
        }
        if (!good) {
            damaged++;
            std::printf("damaged: %s (%s)\n", ShownName(NameOf(entry)).c_str(), why);
        }
    }
    bool complete = CheckWalkEnd(walk, path, count);
    if (base && base->version() != record.baseVersion) {
        damaged++;
        std::printf("the base is version \"%s\", the update installs over version \"%s\"\n",
                    ShownName(base->version()).c_str(), ShownName(record.baseVersion).c_str());
    }
    std::string verdict = damaged ? std::to_string(damaged) + " damaged" : complete ? "all good" : "incomplete";
    if (unchecked && !damaged)
        verdict +=
            "; " + std::to_string(unchecked) + " kept files and patches need the base to be checked (--base)";
    std::printf("%s: %zu entries (archive %s%s), %s\n", path.c_str(), count,
                setup.inResource ? "in resource 103" : "appended", update ? ", an update" : "",
                verdict.c_str());
    return damaged || !complete ? ExitDamaged : ExitOk;
}

static fs::path ExtractedPath(const fs::path& directory, const std::u16string& name)
{
    fs::path path = directory;
    std::u16string part;
    for (char16_t unit : name + u'\\') {
        if (unit == u'\\' || unit == u'/') {
            path /= Utf16ToUtf8(part);
            part.clear();
        } else {
            part += unit;
        }
    }
    return path;
}

static void WriteExtracted(const fs::path& path, const uint8_t* bytes, size_t size, uint64_t time)
{
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error)
        Fail("cannot create the folder \"" + path.parent_path().string() + "\": " + error.message());
    AtomicFile file(path);
    file.write(bytes, size);
    file.commit(time);
}

int RunExtract(const std::vector<std::string>& args)
{
    CommandLine line = ParseCommandLine(args, {{"-C", "--directory", true}, {"", "--base", true}}, "extract");
    if (line.help) {
        std::fputs(HelpText("extract").c_str(), stdout);
        return ExitOk;
    }
    if (line.operands.size() != 1)
        Refuse("extract takes one setup program (see lumivo-pack extract --help)");
    if (line.value("--directory").empty())
        Refuse("extract needs the folder to unpack into: -C DIR");
    fs::path path = line.operands[0], directory = line.value("--directory");
    SetupArchive setup = LoadSetupArchive(path);
    UpdateRecordText record;
    bool update = UpdateRecordOf(setup, path, record);
    std::unique_ptr<UpdateBase> base = BaseOption(line, update);

    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry entry;
    size_t count = 0, written = 0, failed = 0;
    std::set<std::u16string> seen;
    while (NextEntry(walk, entry)) {
        if (update && entry.kind == EntryKindUpdate)
            continue;
        count++;
        std::u16string name = NameOf(entry);
        std::string shown = ShownName(name);
        std::string problem = EntryNameProblem(name);
        if (!problem.empty()) {
            std::printf("refused: %s (the name %s)\n", shown.c_str(), problem.c_str());
            failed++;
            continue;
        }
        if (!seen.insert(FoldedName(name)).second) {
            std::fprintf(stderr, "lumivo-pack: skipped %s: an earlier entry has the same name\n", shown.c_str());
            continue;
        }
        const char* why = "";
        if (update && IsUpdateEntry(entry)) {
            std::vector<uint8_t> bytes;
            if (!base) {
                std::printf("needs the base: %s (%s; see --base)\n", shown.c_str(),
                            entry.kind == EntryKindKept ? "kept" : "a patch");
                failed++;
            } else if (!UnpackAgainstBase(entry, base->find(name), bytes, why)) {
                std::printf("damaged: %s (%s)\n", shown.c_str(), why);
                failed++;
            } else {
                WriteExtracted(ExtractedPath(directory, name), bytes.data(), bytes.size(), entry.time);
                written++;
            }
            continue;
        }
        std::unique_ptr<uint8_t[]> bytes = Unpacked(entry, why);
        if (!bytes) {
            std::printf("damaged: %s (%s)\n", shown.c_str(), why);
            failed++;
            continue;
        }
        WriteExtracted(ExtractedPath(directory, name), bytes.get(), static_cast<size_t>(entry.size), entry.time);
        written++;
    }
    bool complete = CheckWalkEnd(walk, path, count);
    std::fprintf(stderr, "lumivo-pack: extracted %zu of %zu entries into \"%s\"\n", written, count,
                 directory.c_str());
    return failed || !complete ? ExitDamaged : ExitOk;
}
