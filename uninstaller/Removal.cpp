#include "uninstaller/Removal.h"

#include "core/CharCase.h"
#include "core/FileSecurity.h"
#include "core/Owned.h"
#include "installer/ListItem.h"

#include <windows.h>
#include <winternl.h>

// Not declared by the Windows headers for programs; ntdll has it since the first NT.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);

namespace {

// FileDirectoryInformation (class 1) as ntdll fills it.
struct DirectoryEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength; // bytes
    WCHAR fileName[1];
};
const FILE_INFORMATION_CLASS DirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(1);

const NTSTATUS NoSuchFile = static_cast<NTSTATUS>(0xC000000F);
const NTSTATUS NoMoreFiles = static_cast<NTSTATUS>(0x80000006);
const NTSTATUS NameNotFound = static_cast<NTSTATUS>(0xC0000034);
const NTSTATUS PathNotFound = static_cast<NTSTATUS>(0xC000003A);

const ULONG ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const ACCESS_MASK ListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

enum class Step { Opened, Missing, Link, Failed };

Str Join(const Str& dir, const Str& relative)
{
    return Concat(dir, Str(L"\\"), relative);
}

bool IsSeparator(wchar_t unit)
{
    return unit == L'\\' || unit == L'/';
}

// Opens name (length units) relative to the directory parent, never following a reparse point.
NTSTATUS OpenRelative(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
                      OwnedFileHandle& opened)
{
    UNICODE_STRING unicode;
    unicode.Buffer = const_cast<wchar_t*>(name);
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(2 * length);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK status = {};
    HANDLE handle = nullptr;
    NTSTATUS result = NtCreateFile(
        &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, ShareAll, FILE_OPEN,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
        nullptr, 0);
    opened.reset(NT_SUCCESS(result) ? handle : INVALID_HANDLE_VALUE);
    return result;
}

// The attributes of the entry name (length units) as the directory parent lists it: a link that
// the file system resolves when it is opened still shows as a reparse point here. Queried through
// a handle of its own, since a directory handle remembers the first name it was asked for.
Step ListedAttributes(HANDLE parent, const wchar_t* name, int64_t length, ULONG& attributes)
{
    OwnedFileHandle listing;
    if (!NT_SUCCESS(OpenRelative(parent, L"", 0, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, listing)))
        return Step::Failed;
    alignas(8) BYTE buffer[1024];
    IO_STATUS_BLOCK status = {};
    UNICODE_STRING unicode;
    unicode.Buffer = const_cast<wchar_t*>(name);
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(2 * length);
    NTSTATUS result = NtQueryDirectoryFile(listing.get(), nullptr, nullptr, nullptr, &status, buffer,
                                           sizeof buffer, DirectoryInformation, TRUE, &unicode, TRUE);
    if (result == NoSuchFile || result == NoMoreFiles)
        return Step::Missing;
    if (!NT_SUCCESS(result))
        return Step::Failed;
    const DirectoryEntry* entry = reinterpret_cast<const DirectoryEntry*>(buffer);
    // A name with a character that the listing reads as a wildcard could find another entry.
    if (!StrEqualNoCase(entry->fileName, entry->fileNameLength / 2, name, length))
        return Step::Failed;
    attributes = entry->fileAttributes;
    return Step::Opened;
}

// Opens the entry name of the directory parent, refusing a reparse point whether the parent's
// listing or the opened handle shows it.
Step OpenChild(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
               OwnedFileHandle& child)
{
    ULONG attributes = 0;
    Step listed = ListedAttributes(parent, name, length, attributes);
    if (listed != Step::Opened)
        return listed;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Step::Link;
    NTSTATUS result = OpenRelative(parent, name, length, access, options, child);
    if (result == NameNotFound || result == PathNotFound || result == NoSuchFile)
        return Step::Missing;
    if (!NT_SUCCESS(result))
        return Step::Failed;
    return IsReparsePointHandle(child.get()) ? Step::Link : Step::Opened;
}

// The installation directory itself, which must be no reparse point either.
Step OpenRoot(const Str& dir, OwnedFileHandle& root)
{
    DWORD attributes = GetFileAttributesW(dir.text());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Step::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Step::Link;
    root.reset(CreateFileW(dir.text(), ListAccess, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!root)
        return Step::Failed;
    return IsReparsePointHandle(root.get()) ? Step::Link : Step::Opened;
}

// Opens dir\relative: every component but the last as a plain directory, the last with access
// and options.
Step OpenBelow(const Str& dir, const Str& relative, ACCESS_MASK access, ULONG options,
               OwnedFileHandle& target)
{
    OwnedFileHandle current;
    Step step = OpenRoot(dir, current);
    const wchar_t* text = relative.text();
    int64_t length = relative.length(), start = 0;
    while (length > 0 && IsSeparator(text[length - 1]))
        length--; // a folder written as "sub\"
    if (length == 0)
        return Step::Failed; // the directory itself is never a target
    for (int64_t i = 0; step == Step::Opened && i <= length; i++) {
        if (i < length && !IsSeparator(text[i]))
            continue;
        if (i > start) {
            bool last = i == length;
            OwnedFileHandle next;
            step = OpenChild(current.get(), text + start, i - start, last ? access : ListAccess,
                             last ? options : FILE_DIRECTORY_FILE, next);
            current = static_cast<OwnedFileHandle&&>(next);
        }
        start = i + 1;
    }
    if (step == Step::Opened)
        target = static_cast<OwnedFileHandle&&>(current);
    return step;
}

// Marks the object for deletion when its handle closes; a read-only file is made writable first.
// The Windows code of the failure, or 0.
DWORD DeleteThroughHandle(HANDLE handle)
{
    FILE_BASIC_INFO basic = {};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        if (!basic.FileAttributes)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
               ? 0
               : GetLastError();
}

const ACCESS_MASK DeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// The names and attributes of the entries of an opened directory.
struct Listing {
    StrArray names;
    Array<DWORD, true, 4> attributes;
};

bool ListDirectory(HANDLE directory, Listing& listing)
{
    listing.names.makeEmpty();
    listing.attributes.makeEmpty();
    OwnedFileHandle reader;
    if (!NT_SUCCESS(OpenRelative(directory, L"", 0, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, reader)))
        return false;
    alignas(8) BYTE buffer[16384];
    for (bool first = true;; first = false) {
        IO_STATUS_BLOCK status = {};
        NTSTATUS result = NtQueryDirectoryFile(reader.get(), nullptr, nullptr, nullptr, &status, buffer,
                                               sizeof buffer, DirectoryInformation, FALSE, nullptr, first);
        if (result == NoMoreFiles || result == NoSuchFile)
            return true;
        if (!NT_SUCCESS(result))
            return false;
        for (const BYTE* at = buffer;;) {
            const DirectoryEntry* entry = reinterpret_cast<const DirectoryEntry*>(at);
            Str name(entry->fileName, entry->fileNameLength / 2);
            if (name != L"." && name != L"..") {
                listing.names.append(name);
                int64_t count = listing.attributes.length();
                listing.attributes.resize(count + 1);
                listing.attributes.items()[count] = entry->fileAttributes;
            }
            if (!entry->nextEntryOffset)
                break;
            at += entry->nextEntryOffset;
        }
    }
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
        if (isDirectory && OpenChild(directory, name.text(), name.length(), ListAccess, FILE_DIRECTORY_FILE,
                                     child) == Step::Opened)
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
        Step step =
            OpenChild(directory, name.text(), name.length(), DeleteAccess | (isDirectory ? ListAccess : 0),
                      isDirectory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE, child);
        if (step == Step::Missing)
            continue;
        if (step != Step::Opened) {
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
        if (OpenBelow(dir, item, FILE_READ_ATTRIBUTES, 0, target) == Step::Opened) {
            FILE_BASIC_INFO basic = {};
            if (GetFileInformationByHandleEx(target.get(), FileBasicInfo, &basic, sizeof basic) &&
                ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directories)
                names.append(item);
        }
        return names;
    }
    OwnedFileHandle root;
    if (OpenRoot(dir, root) != Step::Opened)
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
    Step step = OpenBelow(dir, relative, DeleteAccess, FILE_NON_DIRECTORY_FILE, file);
    if (step == Step::Missing)
        return;
    if (step != Step::Opened || DeleteThroughHandle(file.get()))
        log.failed.append(Join(dir, relative));
}

void RemoveEmptyDirectoryInside(const Str& dir, const Str& relative)
{
    OwnedFileHandle directory;
    if (OpenBelow(dir, relative, DeleteAccess, FILE_DIRECTORY_FILE, directory) == Step::Opened)
        DeleteThroughHandle(directory.get()); // one that is not empty stays
}

void RemoveTreeInside(const Str& dir, const Str& relative, RemovalLog& log)
{
    OwnedFileHandle directory;
    Step step = OpenBelow(dir, relative, DeleteAccess | ListAccess, FILE_DIRECTORY_FILE, directory);
    if (step == Step::Missing)
        return;
    if (step != Step::Opened) {
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
