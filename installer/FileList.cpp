#include "installer/FileList.h"

#include "archive/ArchiveReader.h"
#include "core/CharCase.h"
#include "core/Path.h"
#include "installer/ListItem.h"

#include <stdint.h>
#include <string.h>

static bool ContainsNoCase(const StrArray& list, const Str& name)
{
    for (int64_t i = 0; i < list.length(); i++)
        if (StrEqualNoCase(list.ref(i), name))
            return true;
    return false;
}

// The installer's own entries: the script, and the uninstallers it writes itself where they
// belong. A pattern never picks them up; only a plain item names them.
static bool IsInstallerEntry(const Str& name)
{
    return StrEqualNoCase(name, L"install.script") || StrEqualNoCase(name, L"_de_install.exe") ||
           StrEqualNoCase(name, L"_de_installu.exe");
}

namespace {

// A list without a name twice (without regard to case): the names' positions are hashed, so a
// name is checked in one probe instead of a pass over the list.
struct UniqueNames {
    StrArray list;
    PtrArray slots; // position in list + 1, or null; at most half full
};

UniqueNames MakeUniqueNames(int64_t capacity)
{
    UniqueNames names;
    names.list.makeEmpty();
    int64_t size = 16;
    while (size < 2 * capacity)
        size *= 2;
    names.slots.makeEmpty();
    names.slots.insertUninitialized(0, size);
    memset(names.slots.items(), 0, static_cast<size_t>(size) * sizeof(void*));
    return names;
}

void AddUnique(UniqueNames& names, const Str& name)
{
    void** slots = names.slots.items();
    int64_t mask = names.slots.length() - 1;
    int64_t slot = HashNoCase(name.text(), name.length()) & mask;
    for (; slots[slot]; slot = (slot + 1) & mask)
        if (StrEqualNoCase(names.list.ref(reinterpret_cast<intptr_t>(slots[slot]) - 1), name))
            return;
    names.list.append(name);
    slots[slot] = reinterpret_cast<void*>(static_cast<intptr_t>(names.list.length()));
}

} // namespace

StrArray ExpandFileList(const Str& copyList)
{
    StrArray items = SplitList(copyList);
    StrArray entries; // read from the archive once, when a pattern needs them
    for (int64_t i = 0; i < items.length() && entries.isNull(); i++)
        if (HasWildcard(items.ref(i)))
            entries = ListEntryNames();
    UniqueNames files = MakeUniqueNames(items.length() + entries.length());
    for (int64_t i = 0; i < items.length(); i++) {
        const Str& item = items.ref(i);
        if (!HasWildcard(item)) {
            AddUnique(files, item);
            continue;
        }
        for (int64_t e = 0; e < entries.length(); e++) {
            const Str& name = entries.ref(e);
            if (MatchPattern(name, item) && !IsInstallerEntry(name))
                AddUnique(files, name);
        }
    }
    return files.list;
}

StrArray NeededDirectories(const StrArray& files)
{
    StrArray directories;
    directories.makeEmpty();
    for (int64_t i = 0; i < files.length(); i++) {
        Str directory = DirectoryOf(files.ref(i));
        while (directory.length() > 1) {
            if (!ContainsNoCase(directories, directory))
                directories.append(directory);
            Str parent = ParentDirectory(directory);
            if (parent.length() >= directory.length())
                break; // a rooted name has no shorter parent left
            directory = parent;
        }
    }
    // A stable bubble sort by length: equal lengths keep their order of first appearance.
    Str* items = directories.items();
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (int64_t i = 0; i + 1 < directories.length(); i++) {
            if (items[i + 1].length() < items[i].length()) {
                Str shorter = items[i + 1];
                items[i + 1] = items[i];
                items[i] = shorter;
                swapped = true;
            }
        }
    }
    return directories;
}
