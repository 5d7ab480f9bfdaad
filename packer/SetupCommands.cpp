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
#include "packer/SolidReader.h"

#include <cstdio>
#include <filesystem>
#include <functional>
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

// The files of a solid block, each name on a line of its own below the block's line: indented,
// "-" for the packed size, the CRC-32 of the file's own bytes. False when its directory is damaged.
static bool ListSolidFiles(const ArchiveEntry& block, const ProgramCode& code)
{
    SolidReader reader(block, SolidUse::Directory, code);
    if (reader.opened() == SolidOpen::NoMemory)
        Fail("out of memory for the directory of " + ShownName(NameOf(block)));
    if (reader.opened() != SolidOpen::Good) {
        std::fprintf(stderr, "lumivo-pack: the directory of %s is damaged: its files cannot be listed\n",
                     ShownName(NameOf(block)).c_str());
        return false;
    }
    const SolidDirectory& directory = reader.directory();
    for (SolidFile file = SolidFirstFile(directory); file.index < directory.fileCount;
         file = SolidFileAfter(directory, file)) {
        SolidName name = SolidFileName(directory, file);
        for (int32_t i = 0; i < file.nameCount; i++, name = SolidNameAfter(directory, name))
            std::printf("  %10s %10d %08x %s %s\n", "-", file.size, file.crc, FileTimeText(name.time).c_str(),
                        ShownName(SolidNameText(name)).c_str());
    }
    return true;
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
    bool readable = true;
    while (NextEntry(walk, entry)) {
        if (update && entry.kind == EntryKindUpdate)
            continue;
        count++;
        std::printf("%u %10d %10d %08x %s ", entry.kind, entry.packedSize, entry.size, entry.crc,
                    FileTimeText(entry.time).c_str());
        if (update)
            std::printf("%-5s ", EntryRole(entry));
        std::printf("%s\n", ShownName(NameOf(entry)).c_str());
        if (IsSolidKind(entry.kind))
            readable = ListSolidFiles(entry, setup.code()) && readable;
    }
    if (update) {
        for (const std::u16string& name : record.removed)
            std::printf("removed %s\n", ShownName(name).c_str());
        std::printf("an update over version \"%s\"\n", ShownName(record.baseVersion).c_str());
    }
    return CheckWalkEnd(walk, path, count) && readable ? ExitOk : ExitDamaged;
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

// Reading a solid block file by file: begin with the file's names, its bytes slice by slice, end
// with its verdict (why it is damaged, or null). Pointers into the block are valid until end.
struct SolidVisitor {
    std::function<void(const std::vector<SolidName>& names)> begin;
    std::function<void(const uint8_t* data, int32_t length)> slice;
    std::function<void(const std::vector<SolidName>& names, const char* damage)> end;
};

// False, having read nothing, when the block's directory is damaged.
static bool ReadSolidFiles(const ArchiveEntry& block, const ProgramCode& code, const SolidVisitor& visitor)
{
    SolidReader reader(block, SolidUse::Files, code);
    if (reader.opened() == SolidOpen::NoMemory)
        Fail("out of memory for " + ShownName(NameOf(block)));
    if (reader.opened() != SolidOpen::Good)
        return false;
    SolidCursor& cursor = reader.cursor();
    SolidFile file;
    while (NextSolidFile(cursor, file)) {
        std::vector<SolidName> names = {SolidFileName(reader.directory(), file)};
        while (static_cast<int32_t>(names.size()) < file.nameCount)
            names.push_back(SolidNameAfter(reader.directory(), names.back()));
        if (visitor.begin)
            visitor.begin(names);
        const uint8_t* data;
        int32_t length;
        SolidStep step;
        while ((step = NextSolidSlice(cursor, 1 << 20, data, length)) == SolidStep::Slice)
            if (visitor.slice)
                visitor.slice(data, length);
        visitor.end(names, step == SolidStep::End ? nullptr : SolidDamage(cursor));
    }
    return true;
}

static const char LostDirectory[] = "its directory is damaged: none of its files can be read";

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
    size_t records = 0, count = 0, damaged = 0, unchecked = 0;
    while (NextEntry(walk, entry)) {
        records++;
        if (update && entry.kind == EntryKindUpdate)
            continue;
        if (IsSolidKind(entry.kind)) {
            SolidVisitor visitor;
            visitor.end = [&](const std::vector<SolidName>& names, const char* damage) {
                for (const SolidName& name : names) {
                    count++;
                    if (damage) {
                        damaged++;
                        std::printf("damaged: %s (%s)\n", ShownName(SolidNameText(name)).c_str(), damage);
                    }
                }
            };
            if (!ReadSolidFiles(entry, setup.code(), visitor)) {
                damaged++;
                std::printf("damaged: %s (%s)\n", ShownName(NameOf(entry)).c_str(), LostDirectory);
            }
            continue;
        }
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
    bool complete = CheckWalkEnd(walk, path, records);
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

static void CreateParent(const fs::path& path)
{
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error)
        Fail("cannot create the folder \"" + path.parent_path().string() + "\": " + error.message());
}

static void WriteExtracted(const fs::path& path, const uint8_t* bytes, size_t size, uint64_t time)
{
    CreateParent(path);
    AtomicFile file(path);
    file.write(bytes, size);
    file.commit(time);
}

// The files of a solid block, each written under every name of it that may be written, as its
// slices come; a damaged file leaves none of its names behind.
static void ExtractSolidFiles(const ArchiveEntry& block, const ProgramCode& code, const fs::path& directory,
                              const std::function<bool(const std::u16string&)>& accept, size_t& count,
                              size_t& written, size_t& failed)
{
    std::vector<std::unique_ptr<AtomicFile>> targets;
    std::vector<SolidName> names;
    SolidVisitor visitor;
    visitor.begin = [&](const std::vector<SolidName>& all) {
        for (const SolidName& name : all) {
            count++;
            if (!accept(SolidNameText(name)))
                continue;
            fs::path target = ExtractedPath(directory, SolidNameText(name));
            CreateParent(target);
            targets.push_back(std::make_unique<AtomicFile>(target));
            names.push_back(name);
        }
    };
    visitor.slice = [&](const uint8_t* data, int32_t length) {
        for (auto& target : targets)
            target->write(data, static_cast<size_t>(length));
    };
    visitor.end = [&](const std::vector<SolidName>&, const char* damage) {
        for (size_t i = 0; i < names.size(); i++) {
            std::u16string name = SolidNameText(names[i]);
            if (damage) {
                std::printf("damaged: %s (%s)\n", ShownName(name).c_str(), damage);
                failed++;
                continue;
            }
            targets[i]->commit(names[i].time);
            written++;
            std::error_code error;
            if (names[i].attributes & SolidAttributeReadOnly)
                fs::permissions(ExtractedPath(directory, name),
                                fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                                fs::perm_options::remove, error);
            if (error)
                Fail("cannot make \"" + ExtractedPath(directory, name).string() + "\" read-only: " + error.message());
        }
        targets.clear(); // what was not committed goes
        names.clear();
    };
    if (!ReadSolidFiles(block, code, visitor)) {
        std::printf("damaged: %s (%s)\n", ShownName(NameOf(block)).c_str(), LostDirectory);
        failed++;
    }
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
    // The installer's rule of names, and only the first of names equal without regard to case.
    auto accept = [&](const std::u16string& name) {
        std::string shown = ShownName(name);
        std::string problem = EntryNameProblem(name);
        if (!problem.empty()) {
            std::printf("refused: %s (the name %s)\n", shown.c_str(), problem.c_str());
            failed++;
            return false;
        }
        if (!seen.insert(FoldedName(name)).second) {
            std::fprintf(stderr, "lumivo-pack: skipped %s: an earlier entry has the same name\n", shown.c_str());
            return false;
        }
        return true;
    };
    size_t records = 0;
    while (NextEntry(walk, entry)) {
        records++;
        if (update && entry.kind == EntryKindUpdate)
            continue;
        if (IsSolidKind(entry.kind)) {
            ExtractSolidFiles(entry, setup.code(), directory, accept, count, written, failed);
            continue;
        }
        count++;
        std::u16string name = NameOf(entry);
        std::string shown = ShownName(name);
        if (!accept(name))
            continue;
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
    bool complete = CheckWalkEnd(walk, path, records);
    std::fprintf(stderr, "lumivo-pack: extracted %zu of %zu entries into \"%s\"\n", written, count,
                 directory.c_str());
    return failed || !complete ? ExitDamaged : ExitOk;
}
