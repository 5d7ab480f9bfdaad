#include "core/PathWalk.h"

#include "core/CharCase.h"
#include "core/FileSecurity.h"
#include "core/Path.h"

#include <winternl.h>

#include <string.h>

// Not declared by the Windows headers for programs; ntdll has them since the first NT.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);
extern "C" NTSTATUS NTAPI NtSetInformationFile(HANDLE file, PIO_STATUS_BLOCK status, PVOID information,
                                               ULONG length, FILE_INFORMATION_CLASS informationClass);

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
const FILE_INFORMATION_CLASS RenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

// FILE_RENAME_INFORMATION as ntdll reads it: the name relative to RootDirectory.
struct RenameRecord {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength; // bytes
    WCHAR fileName[1];
};

const NTSTATUS NoSuchFile = static_cast<NTSTATUS>(0xC000000F);
const NTSTATUS NoMoreFiles = static_cast<NTSTATUS>(0x80000006);
const NTSTATUS NameNotFound = static_cast<NTSTATUS>(0xC0000034);
const NTSTATUS PathNotFound = static_cast<NTSTATUS>(0xC000003A);

bool IsSeparator(wchar_t unit)
{
    return unit == L'\\' || unit == L'/';
}

NTSTATUS OpenRelative(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
                      ULONG share, ULONG disposition, void* securityDescriptor, OwnedFileHandle& opened)
{
    UNICODE_STRING unicode;
    unicode.Buffer = const_cast<wchar_t*>(name);
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(2 * length);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, parent, securityDescriptor);
    IO_STATUS_BLOCK status = {};
    HANDLE handle = nullptr;
    NTSTATUS result = NtCreateFile(
        &handle, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, share, disposition,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
        nullptr, 0);
    opened.reset(NT_SUCCESS(result) ? handle : INVALID_HANDLE_VALUE);
    return result;
}

// The attributes of the entry name (length units) as the directory parent lists it: a link that
// the file system resolves when it is opened still shows as a reparse point here. Queried through
// a handle of its own, since a directory handle remembers the first name it was asked for.
WalkStep ListedAttributes(HANDLE parent, const wchar_t* name, int64_t length, ULONG& attributes, NTSTATUS& result)
{
    OwnedFileHandle listing;
    result = OpenRelative(parent, L"", 0, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, ShareAll, FILE_OPEN, nullptr,
                          listing);
    if (!NT_SUCCESS(result))
        return WalkStep::Failed;
    alignas(8) BYTE buffer[1024];
    IO_STATUS_BLOCK status = {};
    UNICODE_STRING unicode;
    unicode.Buffer = const_cast<wchar_t*>(name);
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(2 * length);
    result = NtQueryDirectoryFile(listing.get(), nullptr, nullptr, nullptr, &status, buffer, sizeof buffer,
                                  DirectoryInformation, TRUE, &unicode, TRUE);
    if (result == NoSuchFile || result == NoMoreFiles)
        return WalkStep::Missing;
    if (!NT_SUCCESS(result))
        return WalkStep::Failed;
    const DirectoryEntry* entry = reinterpret_cast<const DirectoryEntry*>(buffer);
    // A name with a character that the listing reads as a wildcard could find another entry.
    if (!StrEqualNoCase(entry->fileName, entry->fileNameLength / 2, name, length)) {
        result = static_cast<NTSTATUS>(0xC0000033); // STATUS_OBJECT_NAME_INVALID
        return WalkStep::Failed;
    }
    attributes = entry->fileAttributes;
    return WalkStep::Opened;
}

Str WithoutTrailingSeparators(const Str& path)
{
    int64_t length = path.length();
    while (length > 0 && path.text()[length - 1] == L'\\')
        length--;
    return Str(path.text(), length);
}

// The path the system finds the handle at, without its "\\?\" prefix ("\\?\UNC\" for a share).
Str FinalPath(HANDLE handle)
{
    CharBuffer buffer;
    buffer.reserveZeros(32768);
    DWORD length = GetFinalPathNameByHandleW(handle, buffer.text(), 32767, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 32767)
        return Str();
    if (length > 8 && StrEqualNoCase(buffer.text(), 8, L"\\\\?\\UNC\\", 8))
        return Concat(Str(L"\\\\"), Str(buffer.text() + 8, length - 8));
    if (length > 4 && StrEqualNoCase(buffer.text(), 4, L"\\\\?\\", 4))
        return Str(buffer.text() + 4, length - 4);
    return Str(buffer.text(), length);
}

} // namespace

bool HandleIsAt(HANDLE handle, const Str& path)
{
    Str final = WithoutTrailingSeparators(FinalPath(handle));
    Str expected = WithoutTrailingSeparators(path);
    if (!final.isEmpty() && StrEqualNoCase(final, expected))
        return true;
    CharBuffer longName; // a path given with short names
    longName.reserveZeros(32768);
    DWORD length = GetLongPathNameW(expected.text(), longName.text(), 32767);
    return !final.isEmpty() && length > 0 && length < 32767 &&
           StrEqualNoCase(final, WithoutTrailingSeparators(Str(longName.text(), length)));
}

DWORD CodeOfStatus(LONG status)
{
    return RtlNtStatusToDosError(static_cast<NTSTATUS>(status));
}

LONG OpenEntryItself(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
                     ULONG share, OwnedFileHandle& opened)
{
    return OpenRelative(parent, name, length, access, options, share, FILE_OPEN, nullptr, opened);
}

WalkStep OpenChild(HANDLE parent, const wchar_t* name, int64_t length, ACCESS_MASK access, ULONG options,
                   OwnedFileHandle& child, ULONG share, DWORD* code)
{
    ULONG attributes = 0;
    NTSTATUS result = 0;
    WalkStep step = ListedAttributes(parent, name, length, attributes, result);
    if (step == WalkStep::Opened && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        step = WalkStep::Link;
    if (step == WalkStep::Opened) {
        result = OpenRelative(parent, name, length, access, options, share, FILE_OPEN, nullptr, child);
        if (result == NameNotFound || result == PathNotFound || result == NoSuchFile)
            step = WalkStep::Missing;
        else if (!NT_SUCCESS(result))
            step = WalkStep::Failed;
        else if (IsReparsePointHandle(child.get()))
            step = WalkStep::Link;
    }
    if (step == WalkStep::Failed && code)
        *code = CodeOfStatus(result);
    return step;
}

WalkStep OpenWalkRoot(const Str& dir, OwnedFileHandle& root)
{
    DWORD attributes = GetFileAttributesW(dir.text());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return WalkStep::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return WalkStep::Link;
    root.reset(CreateFileW(dir.text(), WalkAccess, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!root)
        return WalkStep::Failed;
    return IsReparsePointHandle(root.get()) ? WalkStep::Link : WalkStep::Opened;
}

// Walks root\relative: the folders on the way as plain directories; the last component is opened
// with access and options, or, when parentOnly is set, left to the caller (its name in last).
static WalkStep Walk(HANDLE root, const Str& relative, ACCESS_MASK access, ULONG options, bool parentOnly,
                     OwnedFileHandle& target, Str* last, DWORD* code)
{
    const wchar_t* text = relative.text();
    int64_t length = relative.length();
    while (length > 0 && IsSeparator(text[length - 1]))
        length--; // a folder written as "sub\"
    if (length == 0)
        return WalkStep::Failed;
    int64_t lastStart = length;
    while (lastStart > 0 && !IsSeparator(text[lastStart - 1]))
        lastStart--;
    int64_t end = parentOnly ? lastStart : length;
    OwnedFileHandle current;
    HANDLE at = root;
    WalkStep step = WalkStep::Opened;
    for (int64_t i = 0, start = 0; step == WalkStep::Opened && i <= end; i++) {
        if (i < end && !IsSeparator(text[i]))
            continue;
        if (i > start) {
            bool final = !parentOnly && i == length;
            OwnedFileHandle next;
            step = OpenChild(at, text + start, i - start, final ? access : WalkAccess,
                             final ? options : FILE_DIRECTORY_FILE, next, ShareAll, code);
            current = static_cast<OwnedFileHandle&&>(next);
            at = current.get();
        }
        start = i + 1;
    }
    if (step != WalkStep::Opened)
        return step;
    if (!current) {
        // The last component's parent is the root itself: a handle of its own, for the caller.
        NTSTATUS result =
            OpenRelative(root, L"", 0, WalkAccess, FILE_DIRECTORY_FILE, ShareAll, FILE_OPEN, nullptr, current);
        if (!NT_SUCCESS(result)) {
            if (code)
                *code = CodeOfStatus(result);
            return WalkStep::Failed;
        }
    }
    target = static_cast<OwnedFileHandle&&>(current);
    if (last)
        *last = Str(text + lastStart, length - lastStart);
    return WalkStep::Opened;
}

WalkStep OpenBelow(HANDLE root, const Str& relative, ACCESS_MASK access, ULONG options, OwnedFileHandle& target,
                   DWORD* code)
{
    return Walk(root, relative, access, options, false, target, nullptr, code);
}

WalkStep OpenBelow(const Str& dir, const Str& relative, ACCESS_MASK access, ULONG options,
                   OwnedFileHandle& target)
{
    OwnedFileHandle root;
    WalkStep step = OpenWalkRoot(dir, root);
    return step == WalkStep::Opened ? OpenBelow(root.get(), relative, access, options, target) : step;
}

WalkStep OpenParentBelow(HANDLE root, const Str& relative, OwnedFileHandle& parent, Str& name, DWORD* code)
{
    return Walk(root, relative, 0, 0, true, parent, &name, code);
}

LONG CreateChild(HANDLE parent, const Str& name, ULONG options, void* securityDescriptor, ACCESS_MASK access,
                 ULONG share, OwnedFileHandle& created)
{
    return OpenRelative(parent, name.text(), name.length(), access, options, share, FILE_CREATE, securityDescriptor,
                        created);
}

WalkStep OpenFolderOfPath(const Str& path, OwnedFileHandle& folder, Str& name)
{
    int64_t rootLength = RootLength(path);
    if (rootLength == 0 || rootLength >= path.length())
        return WalkStep::Failed;
    OwnedFileHandle root;
    WalkStep step = OpenWalkRoot(Str(path.text(), rootLength), root);
    if (step != WalkStep::Opened)
        return step;
    return OpenParentBelow(root.get(), Str(path.text() + rootLength, path.length() - rootLength), folder, name);
}

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

DWORD RenameThroughHandle(HANDLE entry, HANDLE parent, const Str& name, bool replace)
{
    // SetFileInformationByHandle makes the name absolute and drops the folder: ntdll keeps it.
    ByteArray buffer;
    buffer.makeEmpty();
    buffer.insertUninitialized(0, static_cast<int64_t>(sizeof(RenameRecord)) + name.length() * 2);
    RenameRecord* record = reinterpret_cast<RenameRecord*>(buffer.items());
    memset(record, 0, sizeof(RenameRecord));
    record->replaceIfExists = replace;
    record->rootDirectory = parent;
    record->fileNameLength = static_cast<ULONG>(name.length() * 2);
    memcpy(record->fileName, name.text(), name.length() * 2);
    IO_STATUS_BLOCK status = {};
    NTSTATUS result = NtSetInformationFile(entry, &status, record, static_cast<ULONG>(buffer.length()),
                                           RenameInformation);
    return NT_SUCCESS(result) ? 0 : CodeOfStatus(result);
}

bool ListDirectory(HANDLE directory, Listing& listing)
{
    listing.names.makeEmpty();
    listing.attributes.makeEmpty();
    OwnedFileHandle reader;
    if (!NT_SUCCESS(OpenRelative(directory, L"", 0, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, ShareAll,
                                 FILE_OPEN, nullptr, reader)))
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
