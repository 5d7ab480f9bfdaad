#include "uninstaller/Removal.h"

#include "core/PathWalk.h"
#include "installer/ListItem.h"

#include <windows.h>

namespace {

Str Join(const Str& dir, const Str& relative)
{
    return Concat(dir, Str(L"\\"), relative);
}

// Every file (or directory) below the opened directory, as names relative to the walk's start;
// links are neither listed nor entered.
void Walk(HANDLE directory, const Str& relative, bool directories, StrArray& found)
{
    Listing listing;
    if (!ListDirectory(directory, listing))
        return;
    for (int64_t i = 0; i < listing.names.length(); i++) {
        DWORD attributes = listing.attributes.ref(i);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;
        const Str& name = listing.names.ref(i);
        Str path = relative.isEmpty() ? name : Join(relative, name);
        bool isDirectory = attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (isDirectory == directories)
            found.append(path);
        OwnedFileHandle child;
        if (isDirectory && OpenChild(directory, name.text(), name.length(), WalkAccess, FILE_DIRECTORY_FILE,
                                     child) == WalkStep::Opened)
            Walk(child.get(), path, directories, found);
    }
}

// Removes the opened directory with everything in it; path names it in the log.
void RemoveTree(HANDLE directory, const Str& path, RemovalLog& log)
{
    Listing listing;
    if (!ListDirectory(directory, listing)) {
        log.failed.append(path);
        return;
    }
    for (int64_t i = 0; i < listing.names.length(); i++) {
        const Str& name = listing.names.ref(i);
        Str childPath = Join(path, name);
        bool isDirectory = listing.attributes.ref(i) & FILE_ATTRIBUTE_DIRECTORY;
        OwnedFileHandle child;
        WalkStep step =
            OpenChild(directory, name.text(), name.length(), DeleteAccess | (isDirectory ? WalkAccess : 0),
                      isDirectory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE, child);
        if (step == WalkStep::Missing)
            continue;
        if (step != WalkStep::Opened) {
            log.failed.append(childPath); // a link, or in use
            continue;
        }
        if (isDirectory)
            RemoveTree(child.get(), childPath, log);
        else if (DeleteThroughHandle(child.get()))
            log.failed.append(childPath);
    }
    DWORD code = DeleteThroughHandle(directory);
    if (code && code != ERROR_DIR_NOT_EMPTY)
        log.failed.append(path);
}

} // namespace

StrArray ExpandItem(const Str& dir, const Str& item, bool directories)
{
    StrArray names;
    names.makeEmpty();
    if (!HasWildcard(item)) {
        OwnedFileHandle target;
        if (OpenBelow(dir, item, FILE_READ_ATTRIBUTES, 0, target) == WalkStep::Opened) {
            FILE_BASIC_INFO basic = {};
            if (GetFileInformationByHandleEx(target.get(), FileBasicInfo, &basic, sizeof basic) &&
                ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directories)
                names.append(item);
        }
        return names;
    }
    OwnedFileHandle root;
    if (OpenWalkRoot(dir, root) != WalkStep::Opened)
        return names;
    StrArray all;
    all.makeEmpty();
    Walk(root.get(), Str(), directories, all);
    for (int64_t i = 0; i < all.length(); i++)
        if (MatchWholeName(all.ref(i), item))
            names.append(all.ref(i));
    return names;
}

void RemoveFileInside(const Str& dir, const Str& relative, RemovalLog& log)
{
    OwnedFileHandle file;
    WalkStep step = OpenBelow(dir, relative, DeleteAccess, FILE_NON_DIRECTORY_FILE, file);
    if (step == WalkStep::Missing)
        return;
    if (step != WalkStep::Opened || DeleteThroughHandle(file.get()))
        log.failed.append(Join(dir, relative));
}

void RemoveEmptyDirectoryInside(const Str& dir, const Str& relative)
{
    OwnedFileHandle directory;
    if (OpenBelow(dir, relative, DeleteAccess, FILE_DIRECTORY_FILE, directory) == WalkStep::Opened)
        DeleteThroughHandle(directory.get()); // one that is not empty stays
}

void RemoveTreeInside(const Str& dir, const Str& relative, RemovalLog& log)
{
    OwnedFileHandle directory;
    WalkStep step = OpenBelow(dir, relative, DeleteAccess | WalkAccess, FILE_DIRECTORY_FILE, directory);
    if (step == WalkStep::Missing)
        return;
    if (step != WalkStep::Opened) {
        log.failed.append(Join(dir, relative));
        return;
    }
    RemoveTree(directory.get(), Join(dir, relative), log);
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
