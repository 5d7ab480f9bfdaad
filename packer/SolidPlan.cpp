#include "packer/SolidPlan.h"

#include "archive/ListPattern.h"
#include "packer/EntryName.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>

static bool IsInstallerEntry(const std::u16string& folded)
{
    return folded == u"install.script" || folded == u"_de_install.exe" || folded == u"_de_installu.exe";
}

std::vector<std::u16string> ExpandCopyList(const std::u16string& copyList, const std::vector<std::u16string>& names)
{
    std::vector<std::u16string> folded;
    for (const std::u16string& name : names)
        folded.push_back(FoldedName(name));
    std::vector<std::u16string> expanded;
    std::set<std::u16string> seen;
    size_t start = 0;
    for (size_t end = 0; end <= copyList.size(); end++) {
        if (end < copyList.size() && copyList[end] != u'|')
            continue;
        std::u16string item = copyList.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        if (item.find(u'*') == std::u16string::npos) {
            if (seen.insert(FoldedName(item)).second)
                expanded.push_back(item);
            continue;
        }
        std::vector<uint8_t> scratch(2 * (item.size() + 1));
        for (size_t i = 0; i < names.size(); i++)
            if (!IsInstallerEntry(folded[i]) &&
                MatchListPattern(names[i].data(), static_cast<int64_t>(names[i].size()), item.data(),
                                 static_cast<int64_t>(item.size()), false, UpperCaseUnit, scratch.data()) &&
                seen.insert(folded[i]).second)
                expanded.push_back(names[i]);
    }
    return expanded;
}

// What puts files of one kind next to each other: the extension, then the file's own name, then
// the folder (all without regard to case), then the name as stored, so that the order is total.
static std::tuple<std::u16string, std::u16string, std::u16string, std::u16string>
SimilarityKey(const PayloadFile& file)
{
    std::u16string folded = FoldedName(file.units);
    size_t slash = folded.find_last_of(u"\\/");
    std::u16string base = slash == std::u16string::npos ? folded : folded.substr(slash + 1);
    size_t dot = base.find_last_of(u'.');
    std::u16string extension = dot == std::u16string::npos ? std::u16string() : base.substr(dot + 1);
    return {extension, base, folded, file.units};
}

// The size of blocks when none is asked for: all in one up to the default size, else the payload
// shared out evenly among as few blocks as keep near it.
static uint64_t BlockTarget(uint64_t total, uint64_t blockSize)
{
    if (blockSize > 0)
        return blockSize;
    uint64_t blocks = (total + DefaultSolidBlockSize - 1) / DefaultSolidBlockSize;
    return blocks <= 1 ? DefaultSolidBlockSize : (total + blocks - 1) / blocks;
}

SolidPlan PlanSolidArchive(const std::vector<PayloadFile>& files, const ScriptKeys& keys, uint64_t blockSize,
                           const std::function<bool(size_t index)>& storeRaw)
{
    std::map<std::u16string, size_t> byName;
    for (size_t i = 0; i < files.size(); i++)
        byName.emplace(FoldedName(files[i].units), i);
    auto find = [&byName](const std::u16string& name) {
        auto found = byName.find(FoldedName(name));
        return found == byName.end() ? SIZE_MAX : found->second;
    };

    SolidPlan plan;
    std::vector<bool> placed(files.size(), false);
    auto take = [&placed](size_t index, std::vector<size_t>& into) {
        if (index < placed.size() && !placed[index]) {
            placed[index] = true;
            into.push_back(index);
        }
    };
    // The entries read before anything is installed: the script, and the licence in either language.
    for (const std::u16string& name : {std::u16string(u"install.script"), keys.value(u"licence", u"licencja"),
                                       keys.value(u"licence-pl")})
        if (!name.empty())
            take(find(name), plan.ownRecords);

    std::vector<size_t> similar;
    for (size_t i = 0; i < files.size(); i++)
        if (!placed[i])
            similar.push_back(i);
    std::vector<std::tuple<std::u16string, std::u16string, std::u16string, std::u16string>> keysOf(files.size());
    for (size_t i : similar)
        keysOf[i] = SimilarityKey(files[i]);
    std::sort(similar.begin(), similar.end(), [&keysOf](size_t a, size_t b) { return keysOf[a] < keysOf[b]; });

    // The archive's order as the installer will list it: the own records, then the blocks.
    std::vector<std::u16string> archiveOrder;
    for (size_t i : plan.ownRecords)
        archiveOrder.push_back(files[i].units);
    for (size_t i : similar)
        archiveOrder.push_back(files[i].units);
    std::vector<size_t> sequence;
    for (const char16_t* uninstaller : {u"_de_install.exe", u"_de_installu.exe"})
        take(find(uninstaller), sequence);
    for (const std::u16string& name : ExpandCopyList(keys.value(u"copy-files", u"kopiuj"), archiveOrder))
        take(find(name), sequence);
    for (size_t i : similar)
        take(i, sequence);

    // One stored file for the names of one file on disk, where its first name falls.
    std::vector<SolidGroup> groups;
    std::map<std::pair<uint64_t, uint64_t>, size_t> byIdentity;
    for (size_t i : sequence) {
        auto known = byIdentity.emplace(std::make_pair(files[i].device, files[i].inode), groups.size());
        if (known.second)
            groups.push_back({i});
        else
            groups[known.first->second].push_back(i);
    }

    std::vector<bool> raw(groups.size(), false);
    uint64_t total = 0;
    for (size_t g = 0; g < groups.size(); g++) {
        raw[g] = storeRaw && groups[g].size() == 1 && storeRaw(groups[g].front());
        if (!raw[g])
            total += files[groups[g].front()].size;
    }
    uint64_t target = BlockTarget(total, blockSize), filled = 0;
    bool cut = false;
    for (size_t g = 0; g < groups.size(); g++) {
        if (raw[g]) {
            plan.rawRecords.push_back(groups[g].front());
            cut = true;
            continue;
        }
        uint64_t size = files[groups[g].front()].size;
        if (plan.blocks.empty() || (cut && !plan.blocks.back().empty()) || (filled > 0 && filled + size > target)) {
            plan.blocks.emplace_back();
            filled = 0;
        }
        cut = false;
        plan.blocks.back().push_back(std::move(groups[g]));
        filled += size;
    }
    return plan;
}
