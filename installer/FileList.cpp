#include "installer/FileList.h"

#include "archive/ArchiveReader.h"
#include "core/CharCase.h"
#include "core/NoCaseSet.h"
#include "core/Path.h"
#include "installer/ListItem.h"

#include <stdint.h>

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

StrArray ExpandFileList(const Str& copyList)
{
    StrArray items = SplitList(copyList);
    StrArray entries; // read from the archive once, when a pattern needs them
    for (int64_t i = 0; i < items.length() && entries.isNull(); i++)
        if (HasWildcard(items.ref(i)))
            entries = ListEntryNames();
    NoCaseSet files = MakeNoCaseSet(items.length() + entries.length());
    for (int64_t i = 0; i < items.length(); i++) {
        const Str& item = items.ref(i);
        if (!HasWildcard(item)) {
            AddNoCase(files, item);
            continue;
        }
        for (int64_t e = 0; e < entries.length(); e++) {
            const Str& name = entries.ref(e);
            if (MatchPattern(name, item) && !IsInstallerEntry(name))
                AddNoCase(files, name);
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
