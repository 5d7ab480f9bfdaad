#include "uninstaller/Removal.h"

#include "core/Owned.h"
#include "installer/ListItem.h"

#include <windows.h>

static Str Join(const Str& dir, const Str& relative)
{
    return Concat(dir, Str(L"\\"), relative);
}

static bool IsDots(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Every file (or directory) under dir, as names relative to base; links are listed, not entered.
static void Walk(const Str& base, const Str& relative, bool directories, StrArray& found)
{
    Str pattern = relative.isEmpty() ? Concat(base, Str(L"\\*")) : Concat(Join(base, relative), Str(L"\\*"));
    WIN32_FIND_DATAW entry;
    OwnedFind find(FindFirstFileW(pattern.text(), &entry));
    if (!find)
        return;
    do {
        if (IsDots(entry.cFileName))
            continue;
        Str name = relative.isEmpty() ? Str(entry.cFileName) : Join(relative, Str(entry.cFileName));
        bool isDirectory = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        bool isLink = entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if (isDirectory == directories)
            found.append(name);
        if (isDirectory && !isLink)
            Walk(base, name, directories, found);
    } while (FindNextFileW(find.get(), &entry));
}

StrArray ExpandItem(const Str& dir, const Str& item, bool directories)
{
    StrArray names;
    names.makeEmpty();
    if (!HasWildcard(item)) {
        DWORD attributes = GetFileAttributesW(Join(dir, item).text());
        if (attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directories)
            names.append(item);
        return names;
    }
    StrArray all;
    all.makeEmpty();
    Walk(dir, Str(), directories, all);
    for (int64_t i = 0; i < all.length(); i++)
        if (MatchPattern(all.ref(i), item))
            names.append(all.ref(i));
    return names;
}

void RemoveFile(const Str& path, RemovalLog& log)
{
    DWORD attributes = GetFileAttributesW(path.text());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.text(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.text()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        log.failed.append(path);
}

void RemoveFileInside(const Str& dir, const Str& relative, RemovalLog& log)
{
    RemoveFile(Join(dir, relative), log);
}

void RemoveEmptyDirectoryInside(const Str& dir, const Str& relative)
{
    RemoveDirectoryW(Join(dir, relative).text());
}

// Removes path with its contents; a link to a directory is removed itself, not entered.
static void RemoveTree(const Str& path, RemovalLog& log)
{
    DWORD attributes = GetFileAttributesW(path.text());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        RemoveFile(path, log);
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry;
        OwnedFind find(FindFirstFileW(Concat(path, Str(L"\\*")).text(), &entry));
        if (find) {
            do {
                if (!IsDots(entry.cFileName))
                    RemoveTree(Join(path, Str(entry.cFileName)), log);
            } while (FindNextFileW(find.get(), &entry));
        }
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.text(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!RemoveDirectoryW(path.text()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_DIR_NOT_EMPTY)
        log.failed.append(path);
}

void RemoveTreeInside(const Str& dir, const Str& relative, RemovalLog& log)
{
    RemoveTree(Join(dir, relative), log);
}
