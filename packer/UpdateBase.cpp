#include "packer/UpdateBase.h"

#include "archive/ArchiveFormat.h"
#include "packer/EntryName.h"
#include "packer/PackError.h"
#include "packer/SetupReader.h"
#include "packer/SolidReader.h"

const BaseEntry* UpdateBase::find(const std::u16string& name) const
{
    auto found = byFoldedName.find(FoldedName(name));
    return found == byFoldedName.end() ? nullptr : &entries[found->second];
}

std::u16string UpdateBase::programName() const
{
    return script.value(u"name", u"nazwa");
}

std::u16string UpdateBase::version() const
{
    return script.value(u"version");
}

static std::u16string NameOf(const ArchiveEntry& entry)
{
    std::u16string name;
    for (int32_t i = 0; i < entry.nameLength; i++)
        name += static_cast<char16_t>(EntryNameUnit(entry, i));
    return name;
}

// The files of a solid block of the base, each under every name it has.
static void AddSolidFiles(UpdateBase& base, const ArchiveEntry& block, const ProgramCode& code,
                          const std::string& shown)
{
    SolidReader reader(block, SolidUse::Files, code);
    if (reader.opened() != SolidOpen::Good)
        Refuse(shown + " is damaged: the directory of " + ShownName(NameOf(block)) + " does not unpack");
    SolidCursor& cursor = reader.cursor();
    SolidFile file;
    while (NextSolidFile(cursor, file)) {
        BaseEntry entry;
        const uint8_t* data;
        int32_t length;
        SolidStep step;
        while ((step = NextSolidSlice(cursor, 1 << 20, data, length)) == SolidStep::Slice)
            entry.bytes.insert(entry.bytes.end(), data, data + length);
        SolidName name = SolidFileName(reader.directory(), file);
        if (step != SolidStep::End)
            Refuse(shown + " is damaged: the entry " + ShownName(SolidNameText(name)) + " does not unpack");
        entry.crc = Crc32(entry.bytes.data(), static_cast<int64_t>(entry.bytes.size()));
        for (int32_t i = 0; i < file.nameCount; i++, name = SolidNameAfter(reader.directory(), name)) {
            BaseEntry named = entry;
            named.name = SolidNameText(name);
            if (base.byFoldedName.emplace(FoldedName(named.name), base.entries.size()).second)
                base.entries.push_back(std::move(named));
        }
    }
}

UpdateBase LoadUpdateBase(const std::filesystem::path& path)
{
    std::string shown = "the base \"" + path.string() + "\"";
    SetupArchive setup;
    try {
        setup = LoadSetupArchive(path);
    } catch (const PackError& error) {
        Refuse(error.message + " (" + shown + ")");
    }
    UpdateBase base;
    base.path = path;
    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry)) {
        std::u16string name = NameOf(entry);
        if (entry.kind == EntryKindPatch || entry.kind == EntryKindKept || entry.kind == EntryKindUpdate)
            Refuse(shown + " is an update installer: build against the full installer of its version");
        if (IsSolidKind(entry.kind)) {
            AddSolidFiles(base, entry, setup.code(), shown);
            continue;
        }
        if (!DeclaredSizeIsPlausible(entry))
            Refuse(shown + " is damaged: the entry " + ShownName(name) + " claims more than it holds");
        BaseEntry file;
        file.name = name;
        file.bytes.resize(static_cast<size_t>(entry.size));
        if (UnpackEntry(entry, file.bytes.data()) != EntryCheck::Good)
            Refuse(shown + " is damaged: the entry " + ShownName(name) + " does not unpack");
        file.crc = Crc32(file.bytes.data(), static_cast<int64_t>(file.bytes.size()));
        if (base.byFoldedName.emplace(FoldedName(name), base.entries.size()).second)
            base.entries.push_back(std::move(file));
    }
    if (!WalkReachedEndRecord(walk))
        Refuse(shown + " is damaged: its archive breaks off after " + std::to_string(base.entries.size()) +
               " entries");
    const BaseEntry* script = base.find(u"install.script");
    if (!script)
        Refuse(shown + " has no install.script");
    base.script = ParseScriptKeys(std::string(script->bytes.begin(), script->bytes.end()));
    return base;
}
