#include "packer/UpdateBuild.h"

#include "archive/ArchiveFormat.h"
#include "archive/LzmaDecoder.h"
#include "archive/UpdateFormat.h"
#include "packer/EntryName.h"
#include "packer/LzmaEncoder.h"
#include "packer/PackError.h"

#include <set>

void PlanUpdateBuild(UpdateBuild& build, const UpdateBase& base, const std::vector<PayloadFile>& files,
                     const ScriptKeys& script)
{
    std::u16string name = script.value(u"name", u"nazwa");
    if (FoldedName(name) != FoldedName(base.programName()))
        Refuse("the base \"" + base.path.string() + "\" installs \"" + Utf16ToUtf8(base.programName()) +
               "\", not \"" + Utf16ToUtf8(name) + "\": an update installs over its own program");
    // The installer reads these from its own archive before it installs anything.
    std::set<std::u16string> whole = {u"install.script"};
    for (const std::u16string& licence : {script.value(u"licence", u"licencja"), script.value(u"licence-pl")})
        if (!licence.empty())
            whole.insert(FoldedName(licence));

    build.base = &base;
    build.baseOf.assign(files.size(), nullptr);
    build.storedWhole.assign(files.size(), false);
    build.usualSizes.assign(files.size(), 0);
    std::set<std::u16string> present;
    for (size_t i = 0; i < files.size(); i++) {
        std::u16string folded = FoldedName(files[i].units);
        present.insert(folded);
        build.baseOf[i] = base.find(files[i].units);
        build.storedWhole[i] = whole.count(folded) > 0;
    }
    for (const BaseEntry& entry : base.entries)
        if (!present.count(FoldedName(entry.name)))
            build.removed.push_back(entry.name);
}

PackedEntry KeptEntry(const std::vector<uint8_t>& bytes)
{
    PackedEntry entry;
    entry.kind = EntryKindKept;
    entry.size = static_cast<int32_t>(bytes.size());
    entry.data.resize(KeptFieldsSize);
    WriteU32(entry.data.data(), Crc32(bytes.data(), static_cast<int64_t>(bytes.size())));
    entry.crc = Crc32(entry.data.data(), KeptFieldsSize);
    return entry;
}

PackedEntry PatchEntry(const BaseEntry& base, const std::vector<uint8_t>& bytes,
                       const std::vector<uint8_t>& stream)
{
    PackedEntry entry;
    entry.kind = EntryKindPatch;
    entry.size = static_cast<int32_t>(bytes.size());
    entry.data.resize(PatchFieldsSize);
    WritePatchFields(entry.data.data(), static_cast<int32_t>(base.bytes.size()), base.crc,
                     Crc32(bytes.data(), static_cast<int64_t>(bytes.size())));
    entry.data.insert(entry.data.end(), stream.begin(), stream.end());
    entry.crc = Crc32(entry.data.data(), static_cast<int64_t>(entry.data.size()));
    return entry;
}

EntryChooser UpdateChooser(UpdateBuild& build)
{
    return [&build](size_t index, const std::vector<uint8_t>& bytes, PackedEntry usual) {
        build.usualSizes[index] = usual.data.size();
        const BaseEntry* base = build.baseOf[index];
        if (!base || build.storedWhole[index])
            return usual;
        if (bytes == base->bytes && bytes.size() > static_cast<size_t>(KeptFieldsSize)) {
            build.kept++;
            return KeptEntry(bytes);
        }
        // Worth it only when smaller than the usual entry (which is never larger than the file).
        size_t overhead = PatchFieldsSize + LzmaHeaderSize + 5;
        if (base->bytes.empty() || bytes.empty() || usual.data.size() <= overhead)
            return usual;
        LzmaSettings settings;
        settings.presetDictionary = base->bytes.data();
        settings.presetDictionarySize = base->bytes.size();
        std::vector<uint8_t> stream;
        if (!LzmaEncode(bytes.data(), bytes.size(), usual.data.size() - PatchFieldsSize - 1, stream,
                        settings))
            return usual;
        build.patched++;
        return PatchEntry(*base, bytes, stream);
    };
}

uint64_t FullArchiveLength(const UpdateBuild& build, const std::vector<PayloadFile>& files)
{
    uint64_t length = RecordHeaderSize; // the end record
    for (size_t i = 0; i < files.size(); i++)
        length += RecordHeaderSize + 2 * files[i].units.size() + build.usualSizes[i];
    return length;
}

void AddUpdateRecord(const UpdateBuild& build, std::vector<PayloadFile>& files,
                     std::vector<PackedEntry>& entries, uint64_t time)
{
    std::u16string removed;
    for (const std::u16string& name : build.removed)
        removed += (removed.empty() ? u"" : u"|") + name;
    std::string text =
        "base-version=" + Utf16ToUtf8(build.base->version()) + "\nremoved=" + Utf16ToUtf8(removed) + "\n";
    PackedEntry record;
    record.kind = EntryKindUpdate;
    record.data.assign(text.begin(), text.end());
    record.size = static_cast<int32_t>(record.data.size());
    record.crc = Crc32(record.data.data(), static_cast<int64_t>(record.data.size()));
    PayloadFile file;
    file.size = record.data.size();
    file.time = time;
    file.device = file.inode = 0;
    files.insert(files.begin(), file);
    entries.insert(entries.begin(), std::move(record));
}
