#include "packer/PeResources.h"

#include "archive/ArchiveFormat.h"

#include <algorithm>

namespace {

// Bounds on what a directory may make us visit: a tree that names the same tables again and
// again could otherwise multiply a few bytes into millions of resources.
const size_t MaxResources = 20000;
const size_t MaxEntriesVisited = 1 << 20;

uint16_t ReadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

void WriteU16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

[[noreturn]] void Malformed(const std::string& message)
{
    throw PeFormatError{"the resource directory is damaged: " + message};
}

struct DirectoryReader {
    const uint8_t* bytes;
    size_t size;
    const PeLayout& layout;
    const uint8_t* table; // the directory's start; offsets inside it count from here
    uint64_t tableSize;
    size_t entriesVisited = 0;
    std::vector<ResourceLeaf> leaves;

    ResourceName readName(uint32_t field)
    {
        ResourceName name;
        if (!(field & 0x80000000u)) {
            name.id = field;
            return name;
        }
        uint64_t at = field & 0x7FFFFFFFu;
        if (at + 2 > tableSize)
            Malformed("a name lies outside it");
        uint64_t length = ReadU16(table + at);
        if (length == 0 || at + 2 + 2 * length > tableSize)
            Malformed("a name is empty or passes its end");
        for (uint64_t i = 0; i < length; i++)
            name.text += static_cast<char16_t>(ReadU16(table + at + 2 + 2 * i));
        return name;
    }

    // Level 0 lists types, 1 names, 2 languages, whose entries point at the data.
    void readTable(uint64_t at, int level, ResourceLeaf& leaf)
    {
        if (at + 16 > tableSize)
            Malformed("a table lies outside it");
        uint64_t count = static_cast<uint64_t>(ReadU16(table + at + 12)) + ReadU16(table + at + 14);
        if (at + 16 + 8 * count > tableSize)
            Malformed("a table's entries pass its end");
        for (uint64_t i = 0; i < count; i++) {
            if (++entriesVisited > MaxEntriesVisited)
                Malformed("its tables are visited too often (a loop?)");
            const uint8_t* entry = table + at + 16 + 8 * i;
            uint32_t nameField = ReadU32(entry), target = ReadU32(entry + 4);
            bool isTable = target & 0x80000000u;
            if (level == 0)
                leaf.type = readName(nameField);
            else if (level == 1)
                leaf.name = readName(nameField);
            else if (nameField & 0x80000000u || nameField > 0xFFFF)
                Malformed("a language is not a 16-bit number");
            else
                leaf.language = static_cast<uint16_t>(nameField);
            if (level < 2) {
                if (!isTable)
                    Malformed("a type or name entry points at data instead of a table");
                readTable(target & 0x7FFFFFFFu, level + 1, leaf);
                continue;
            }
            if (isTable)
                Malformed("a language entry points at a table instead of data");
            if (static_cast<uint64_t>(target) + 16 > tableSize)
                Malformed("a data entry lies outside it");
            uint32_t dataRva = ReadU32(table + target), dataSize = ReadU32(table + target + 4);
            leaf.codePage = ReadU32(table + target + 8);
            leaf.size = dataSize;
            leaf.offset = layout.fileOffset(dataRva, dataSize, "a resource's data");
            if (leaves.size() >= MaxResources)
                Malformed("it names more than " + std::to_string(MaxResources) + " resources");
            leaves.push_back(leaf);
        }
    }
};

// Names before numbers, names in UTF-16 order, numbers ascending.
bool Before(const ResourceName& a, const ResourceName& b)
{
    if (a.text.empty() != b.text.empty())
        return !a.text.empty();
    return a.text.empty() ? a.id < b.id : a.text < b.text;
}

bool ItemBefore(const ResourceItem& a, const ResourceItem& b)
{
    if (!(a.type == b.type))
        return Before(a.type, b.type);
    if (!(a.name == b.name))
        return Before(a.name, b.name);
    return a.language < b.language;
}

// A table of the directory being built: its entries and where it lies.
struct TableEntry {
    ResourceName name;
    size_t child; // index of the table below, or of the item for a language table
};
struct Table {
    std::vector<TableEntry> entries;
    bool leaves = false;
    uint64_t offset = 0;
};

} // namespace

std::vector<ResourceLeaf> ReadResources(const uint8_t* bytes, size_t size, const PeLayout& layout)
{
    PeDirectory directory = layout.directory(DirectoryResources);
    if (directory.address == 0)
        return {};
    int index = layout.sectionOf(directory.address);
    size_t start = layout.fileOffset(directory.address, 16, "the resource directory");
    const PeSection& section = layout.sections[index];
    DirectoryReader reader{bytes, size, layout, bytes + start,
                           static_cast<uint64_t>(section.rawOffset) + section.rawSize - start, 0, {}};
    ResourceLeaf leaf{};
    reader.readTable(0, 0, leaf);
    return reader.leaves;
}

bool FindPeResource(const uint8_t* bytes, size_t size, uint32_t type, uint32_t id, size_t& offset, size_t& length)
{
    try {
        PeLayout layout = ReadPeLayout(bytes, size);
        for (const ResourceLeaf& leaf : ReadResources(bytes, size, layout))
            if (leaf.type.isId(type) && leaf.name.isId(id)) {
                offset = leaf.offset;
                length = leaf.size;
                return true;
            }
    } catch (const PeFormatError&) {
    }
    return false;
}

OutputBytes BuildResourceSection(const std::vector<ResourceItem>& unsorted, uint32_t sectionRva)
{
    std::vector<const ResourceItem*> sorted;
    for (const ResourceItem& item : unsorted)
        sorted.push_back(&item);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ResourceItem* a, const ResourceItem* b) { return ItemBefore(*a, *b); });
    for (size_t i = 1; i < sorted.size(); i++)
        if (!ItemBefore(*sorted[i - 1], *sorted[i]))
            throw PeFormatError{"two resources of the same type, name and language"};
    struct ItemView {
        const std::vector<const ResourceItem*>& sorted;
        const ResourceItem& operator[](size_t i) const { return *sorted[i]; }
        size_t size() const { return sorted.size(); }
    } items{sorted};

    // Tables in the order they are laid out: the root, every type's table, every name's table.
    std::vector<Table> tables(1);
    std::vector<size_t> nameTables; // in item order
    for (size_t i = 0; i < items.size(); i++) {
        const ResourceItem& item = items[i];
        bool newType = i == 0 || !(items[i - 1].type == item.type);
        if (newType) {
            tables[0].entries.push_back(TableEntry{item.type, tables.size()});
            tables.push_back(Table());
        }
        size_t typeTable = tables[0].entries.back().child;
        if (newType || !(items[i - 1].name == item.name)) {
            tables[typeTable].entries.push_back(TableEntry{item.name, 0});
            nameTables.push_back(i);
        }
    }
    // Name tables come after all type tables; link them now that their indexes are known.
    size_t nameTableIndex = 0;
    for (size_t t = 1, count = tables.size(); t < count; t++)
        for (size_t e = 0; e < tables[t].entries.size(); e++) {
            tables[t].entries[e].child = tables.size(); // before the push below moves the tables
            Table languages;
            languages.leaves = true;
            size_t first = nameTables[nameTableIndex++];
            size_t last = nameTableIndex < nameTables.size() ? nameTables[nameTableIndex] : items.size();
            for (size_t i = first; i < last; i++)
                languages.entries.push_back(TableEntry{ResourceName{items[i].language, u""}, i});
            tables.push_back(languages);
        }

    uint64_t at = 0;
    for (Table& table : tables) {
        table.offset = at;
        at += 16 + 8 * table.entries.size();
    }
    uint64_t dataEntries = at;
    at += 16 * items.size();
    uint64_t strings = at;
    for (size_t t = 0; t < tables.size(); t++)
        for (const TableEntry& entry : tables[t].entries)
            if (!tables[t].leaves && !entry.name.text.empty())
                at += 2 + 2 * entry.name.text.size();
    uint64_t directorySize = AlignUp(at, 8);
    std::vector<uint64_t> dataOffsets;
    for (size_t i = 0; i < items.size(); i++) {
        dataOffsets.push_back(at = AlignUp(at, 8));
        at += items[i].data.size;
    }
    if (static_cast<uint64_t>(sectionRva) + at > 0xFFFFFFFFull)
        throw PeFormatError{"the resources do not fit the 32-bit addresses of an image"};

    std::vector<uint8_t> directory(static_cast<size_t>(directorySize), 0);
    uint64_t stringAt = strings;
    for (const Table& table : tables) {
        uint8_t* header = &directory[table.offset];
        uint16_t named = 0;
        for (const TableEntry& entry : table.entries)
            named += !entry.name.text.empty();
        WriteU16(header + 12, named);
        WriteU16(header + 14, static_cast<uint16_t>(table.entries.size() - named));
        for (size_t e = 0; e < table.entries.size(); e++) {
            const TableEntry& entry = table.entries[e];
            uint8_t* slot = header + 16 + 8 * e;
            if (entry.name.text.empty()) {
                WriteU32(slot, entry.name.id);
            } else {
                WriteU32(slot, 0x80000000u | static_cast<uint32_t>(stringAt));
                WriteU16(&directory[stringAt], static_cast<uint16_t>(entry.name.text.size()));
                for (size_t u = 0; u < entry.name.text.size(); u++)
                    WriteU16(&directory[stringAt + 2 + 2 * u], entry.name.text[u]);
                stringAt += 2 + 2 * entry.name.text.size();
            }
            if (!table.leaves) {
                WriteU32(slot + 4, 0x80000000u | static_cast<uint32_t>(tables[entry.child].offset));
                continue;
            }
            uint64_t dataEntry = dataEntries + 16 * entry.child;
            WriteU32(slot + 4, static_cast<uint32_t>(dataEntry));
            const ResourceItem& item = items[entry.child];
            WriteU32(&directory[dataEntry], static_cast<uint32_t>(sectionRva + dataOffsets[entry.child]));
            WriteU32(&directory[dataEntry + 4], static_cast<uint32_t>(item.data.size));
            WriteU32(&directory[dataEntry + 8], item.codePage);
        }
    }

    OutputBytes section;
    section.own(std::move(directory));
    for (size_t i = 0; i < items.size(); i++) {
        section.zeros(static_cast<size_t>(dataOffsets[i] - section.size));
        section.borrowAll(items[i].data);
    }
    return section;
}
