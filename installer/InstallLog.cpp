#include "installer/InstallLog.h"

#include "core/Array.h"
#include "core/Error.h"
#include "core/Owned.h"

#include <windows.h>

static OwnedFileHandle LogFile;

void OpenInstallLog(const Str& path)
{
    // Appending access: every write lands at the end, also when another process appends too.
    OwnedFileHandle file(CreateFileW(path.text(), FILE_APPEND_DATA | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError(path.text(), L"CreateFileW");
    LogFile = static_cast<OwnedFileHandle&&>(file);
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
