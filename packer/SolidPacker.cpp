#include "packer/SolidPacker.h"

#include "archive/SolidBlock.h"
#include "packer/EntryName.h"
#include "packer/LzmaEncoder.h"
#include "packer/PackError.h"
#include "packer/ParallelJobs.h"
#include "packer/Progress.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

std::vector<uint8_t> SolidBlockContent(const std::vector<PayloadFile>& files, const std::vector<SolidGroup>& groups,
                                       const std::function<std::vector<uint8_t>(const PayloadFile&)>& read)
{
    uint64_t fileCount = groups.size(), nameCount = 0, units = 0, bytes = 0;
    for (const SolidGroup& group : groups) {
        nameCount += group.size();
        for (size_t i : group)
            units += files[i].units.size();
        bytes += files[group.front()].size;
    }
    uint64_t sizes = SolidDirectoryHeadSize, crcs = sizes + 4 * fileCount, nameCounts = crcs + 4 * fileCount,
             times = nameCounts + 4 * fileCount, attributes = times + 8 * nameCount,
             nameLengths = attributes + 4 * nameCount, names = nameLengths + 4 * nameCount;
    uint64_t directory = names + 2 * units;
    if (directory + bytes > static_cast<uint64_t>(MaxEntrySize))
        Refuse("the files of one solid block, starting with \"" + files[groups.front().front()].name + "\", come to " +
               std::to_string(directory + bytes) + " bytes with their directory; a block must stay below 2 GiB "
               "(pack with a smaller --block-size, or with --no-solid)");

    std::vector<uint8_t> content(directory + bytes);
    uint8_t* out = content.data();
    WriteU32(out, static_cast<uint32_t>(directory));
    WriteU32(out + 4, static_cast<uint32_t>(fileCount));
    WriteU32(out + 8, static_cast<uint32_t>(nameCount));
    uint64_t offset = directory, name = 0, unitsAt = names;
    for (size_t g = 0; g < groups.size(); g++) {
        const PayloadFile& first = files[groups[g].front()];
        std::vector<uint8_t> data = read(first);
        if (data.size() != first.size) // read refuses such a file; this is the layout's own guard
            Fail("\"" + first.name + "\" was read with a size other than its listed one");
        if (!data.empty())
            std::memcpy(out + offset, data.data(), data.size());
        offset += data.size();
        WriteU32(out + sizes + 4 * g, static_cast<uint32_t>(data.size()));
        WriteU32(out + crcs + 4 * g, Crc32(data.data(), static_cast<int64_t>(data.size())));
        WriteU32(out + nameCounts + 4 * g, static_cast<uint32_t>(groups[g].size()));
        for (size_t i : groups[g]) {
            const PayloadFile& file = files[i];
            WriteU64(out + times + 8 * name, file.time);
            WriteU32(out + attributes + 4 * name, file.attributes);
            WriteU32(out + nameLengths + 4 * name, static_cast<uint32_t>(file.units.size()));
            for (char16_t unit : file.units) {
                out[unitsAt++] = static_cast<uint8_t>(unit & 0xFF);
                out[unitsAt++] = static_cast<uint8_t>(unit >> 8);
            }
            name++;
        }
    }
    return content;
}

// One block compressed: the stream of its content, counting each file on progress once the
// encoder is past its bytes.
static PackedEntry PackBlock(const std::vector<PayloadFile>& files, const std::vector<SolidGroup>& groups,
                             const ProgramCode& code, Progress& progress)
{
    std::vector<uint8_t> content = SolidBlockContent(files, groups, ReadPayloadFile);
    // Where each group's bytes end in the content.
    std::vector<uint64_t> ends;
    uint64_t end = content.size();
    for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
        ends.push_back(end);
        end -= files[group->front()].size;
    }
    std::reverse(ends.begin(), ends.end());
    size_t counted = 0;
    auto encoded = [&](size_t done) {
        for (; counted < groups.size() && ends[counted] <= done; counted++)
            for (size_t i : groups[counted])
                progress.fileDone(files[i].size);
    };

    // Preset 9: extreme would take 15 % longer for 0.2 % less. The dictionary: the usual size that
    // holds the block, at most 64 MiB.
    LzmaSettings settings;
    settings.extreme = false;
    settings.dictionary = 0;
    PackedEntry entry;
    entry.kind = EntryKindSolid;
    if (code.bytes) { // the code counts in the dictionary's reach
        settings.presetDictionary = code.bytes;
        settings.presetDictionarySize = static_cast<size_t>(code.length);
        settings.dictionary = LzmaDictionaryFor(code.length + content.size(), SolidDictionary);
        entry.kind = EntryKindSolidOnProgram;
    }
    entry.size = static_cast<int32_t>(content.size());
    entry.data = LzmaEncodeStream(content.data(), content.size(), settings, encoded);
    // A packed size equal to the size would read as a raw entry; an end marker makes it longer.
    if (entry.data.size() == content.size()) {
        settings.endMarker = true;
        entry.data = LzmaEncodeStream(content.data(), content.size(), settings, nullptr);
    }
    entry.crc = Crc32(entry.data.data(), static_cast<int64_t>(entry.data.size()));
    return entry;
}

PackedArchive PackSolidArchive(const std::vector<PayloadFile>& files, const SolidPlan& plan, int jobs,
                               Progress& progress, const ProgramCode& code)
{
    PackedArchive archive;
    for (size_t i : plan.ownRecords) {
        std::vector<uint8_t> bytes = ReadPayloadFile(files[i]);
        archive.records.push_back(files[i]);
        archive.entries.push_back(PackBytes(bytes.data(), bytes.size(), LevelBySize, EntryCodec::Lzma));
        progress.fileDone(bytes.size());
    }
    for (size_t i : plan.rawRecords) {
        std::vector<uint8_t> bytes = ReadPayloadFile(files[i]);
        archive.records.push_back(files[i]);
        archive.entries.push_back(StoredEntry(bytes.data(), bytes.size(), EntryCodec::Lzma));
        progress.fileDone(bytes.size());
    }

    // Largest blocks first, so that no big one starts last while the other threads are idle.
    std::vector<uint64_t> sizes;
    for (const std::vector<SolidGroup>& block : plan.blocks) {
        uint64_t size = 0;
        for (const SolidGroup& group : block)
            size += files[group.front()].size;
        sizes.push_back(size);
    }
    std::vector<size_t> order(plan.blocks.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&sizes](size_t a, size_t b) { return sizes[a] > sizes[b]; });
    std::vector<PackedEntry> blocks(plan.blocks.size());
    RunParallel(
        order, jobs,
        [&](size_t b) { blocks[b] = PackBlock(files, plan.blocks[b], b == 0 ? code : ProgramCode{nullptr, 0}, progress); },
        [&progress] { progress.show(); });

    for (size_t b = 0; b < plan.blocks.size(); b++) {
        PayloadFile record;
        std::string name = "<solid block " + std::to_string(b + 1) + ">";
        record.name = name;
        record.units.assign(name.begin(), name.end());
        record.size = static_cast<uint64_t>(blocks[b].size);
        record.time = 0;
        for (const SolidGroup& group : plan.blocks[b])
            for (size_t i : group)
                record.time = std::max(record.time, files[i].time);
        record.device = record.inode = 0;
        archive.records.push_back(record);
        archive.entries.push_back(std::move(blocks[b]));
    }
    progress.finish();
    return archive;
}
