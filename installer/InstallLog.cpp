#include "installer/InstallLog.h"

#include "core/Array.h"
#include "core/Error.h"
#include "core/FileSecurity.h"
#include "core/Owned.h"
#include "core/PathWalk.h"

#include <windows.h>
#include <winternl.h>

static OwnedFileHandle LogFile;

// Appending access: every write lands at the end, also when another process appends too.
static const ACCESS_MASK LogAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// An ordinary file of one name: no link, no second name through which it could be another file.
static bool IsPlainFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
           !(information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           information.nNumberOfLinks == 1 && !IsReparsePointHandle(file);
}

bool OpenInstallLog(const Str& path)
{
    OwnedFileHandle folder, file;
    Str name;
    DWORD code = ERROR_PATH_NOT_FOUND;
    WalkStep step = OpenFolderOfPath(path, folder, name);
    if (step == WalkStep::Opened)
        step = OpenChild(folder.get(), name.text(), name.length(), LogAccess, FILE_NON_DIRECTORY_FILE, file, ShareAll,
                         &code);
    if (step == WalkStep::Missing && folder) {
        // Made new, so that nothing planted under the name meanwhile is opened.
        LONG status = CreateChild(folder.get(), name, FILE_NON_DIRECTORY_FILE, nullptr, LogAccess, ShareAll, file);
        code = CodeOfStatus(status);
        step = status >= 0 ? WalkStep::Opened : WalkStep::Failed;
    }
    // A link that the system followed (as Wine follows a link to a file) ends elsewhere.
    if (step == WalkStep::Link ||
        (step == WalkStep::Opened && (!IsPlainFile(file.get()) || !HandleIsAt(file.get(), path))))
        return false;
    if (step != WalkStep::Opened)
        ThrowWinError(code, path.text(), L"CreateFileW");
    LogFile = static_cast<OwnedFileHandle&&>(file);
    return true;
}

uint64_t InstallLogHandle()
{
    return LogFile ? reinterpret_cast<uintptr_t>(LogFile.get()) : 0;
}

void AdoptInstallLog(uint64_t handle, uint32_t processId)
{
    OwnedHandle starter(OpenProcess(PROCESS_DUP_HANDLE, FALSE, processId));
    HANDLE copy = nullptr;
    if (!starter || !DuplicateHandle(starter.get(), reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle)),
                                     GetCurrentProcess(), &copy, LogAccess, FALSE, 0))
        ThrowLastError();
    OwnedFileHandle file(copy);
    if (!IsPlainFile(file.get()))
        throw WinError(ERROR_INVALID_HANDLE);
    LogFile = static_cast<OwnedFileHandle&&>(file);
}

uint32_t ParentProcessId()
{
    PROCESS_BASIC_INFORMATION information = {};
    ULONG length = 0;
    if (!NT_SUCCESS(NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &information,
                                              sizeof information, &length)))
        return 0;
    return static_cast<uint32_t>(information.InheritedFromUniqueProcessId);
}

bool InstallLogOpen()
{
    return static_cast<bool>(LogFile);
}

static void WriteLine(const Str& line)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    Str year = DigitsOf(now.wYear, 10, 4), month = DigitsOf(now.wMonth, 10, 2), day = DigitsOf(now.wDay, 10, 2),
        hour = DigitsOf(now.wHour, 10, 2), minute = DigitsOf(now.wMinute, 10, 2),
        second = DigitsOf(now.wSecond, 10, 2);
    const wchar_t* pieces[] = {year.text(), L"-", month.text(), L"-", day.text(), L" ", hour.text(), L":",
                               minute.text(), L":", second.text(), L"  ", nullptr};
    Str stamp = ConcatList(pieces);
    CharBuffer text;
    text.appendText(stamp.text(), stamp.length());
    text.appendText(line.text(), line.length());
    for (int64_t i = 0; i < text.length(); i++)
        if (text.text()[i] == L'\r' || text.text()[i] == L'\n')
            text.text()[i] = L' ';
    text.appendText(L"\r\n", 2);

    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.text(), static_cast<int>(CheckInt(text.length())),
                                    nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    ByteArray utf8;
    utf8.resize(bytes);
    WideCharToMultiByte(CP_UTF8, 0, text.text(), static_cast<int>(text.length()),
                        reinterpret_cast<char*>(utf8.items()), bytes, nullptr, nullptr);
    DWORD written = 0;
    // One write per line: appending writes of other processes never split it.
    WriteFile(LogFile.get(), utf8.items(), static_cast<DWORD>(bytes), &written, nullptr);
}

void WriteInstallLog(const Str& line)
{
    if (!LogFile)
        return;
    try {
        WriteLine(line);
    } catch (const Error&) {
        // a line that cannot be built is left out
    }
}

void CloseInstallLog()
{
    LogFile.reset();
}

void LogToInstallLog(InstallHost&, const Str& line)
{
    WriteInstallLog(line);
}
