#include "installer/FileList.h"

#include "archive/ArchiveReader.h"
#include "core/CharCase.h"
#include "core/Path.h"

static bool MatchFrom(const wchar_t* name, int64_t nameLength, int64_t n, const wchar_t* pattern,
                      int64_t patternLength, int64_t p)
{
    for (;;) {
        if (p == patternLength)
            return true;
        if (pattern[p] != L'*') {
            if (n == nameLength || ToUpperChar(pattern[p]) != ToUpperChar(name[n]))
                return false;
            p++;
            n++;
            continue;
        }
        if (n < nameLength && (name[n] == L'\\' || name[n] == L'/' || name[n] == L':')) {
            p++; // a star matches nothing at a separator
            continue;
        }
        for (int64_t at = n; at <= nameLength; at++)
            if (MatchFrom(name, nameLength, at, pattern, patternLength, p + 1))
                return true;
        return false;
    }
}

bool MatchPattern(const Str& name, const Str& pattern)
{
    return MatchFrom(name.text(), name.length(), 0, pattern.text(), pattern.length(), 0);
}

StrArray SplitList(const Str& list)
{
    StrArray items;
    items.makeEmpty();
    const wchar_t* text = list.text();
    int64_t length = list.length(), start = 0;
    for (int64_t i = 0; i <= length; i++) {
        if (i == length || text[i] == L'|') {
            if (i > start)
                items.append(Str(text + start, i - start));
            start = i + 1;
        }
    }
    return items;
}

static bool ContainsNoCase(const StrArray& list, const Str& name)
{
    for (int64_t i = 0; i < list.length(); i++)
        if (StrEqualNoCase(list.ref(i), name))
            return true;
    return false;
}

static bool HasStar(const Str& item)
{
    for (int64_t i = 0; i < item.length(); i++)
        if (item.text()[i] == L'*')
            return true;
    return false;
}

StrArray ExpandFileList(const Str& specification)
{
    StrArray files;
    files.makeEmpty();
    StrArray items = SplitList(specification);
    StrArray entries; // read from the archive once, when the first pattern needs them
    for (int64_t i = 0; i < items.length(); i++) {
        const Str& item = items.ref(i);
        if (!HasStar(item)) {
            if (!ContainsNoCase(files, item))
                files.append(item);
            continue;
        }
        if (entries.isNull())
            entries = ListEntryNames();
        for (int64_t e = 0; e < entries.length(); e++) {
            const Str& name = entries.ref(e);
            if (MatchPattern(name, item) && !ContainsNoCase(files, name))
                files.append(name);
        }
    }
    return files;
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

bool IsContainedRelativePath(const Str& name)
{
    const wchar_t* text = name.text();
    int64_t length = name.length();
    if (length == 0 || text[0] == L'\\' || text[0] == L'/')
        return false;
    for (int64_t i = 0; i < length; i++)
        if (text[i] == L':')
            return false; // a drive letter, or an alternate data stream
    int64_t start = 0;
    for (int64_t i = 0; i <= length; i++) {
        if (i == length || text[i] == L'\\' || text[i] == L'/') {
            int64_t part = i - start;
            if (part == 2 && text[start] == L'.' && text[start + 1] == L'.')
                return false;
            start = i + 1;
        }
    }
    return true;
}
