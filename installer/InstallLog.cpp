#include "installer/InstallLog.h"

#include "core/Array.h"
#include "core/Error.h"
#include "core/Owned.h"

#include <windows.h>

#include <stdio.h>

static OwnedFileHandle LogFile;

void OpenInstallLog(const Str& path)
{
    // Appending access: every write lands at the end, also when another process appends too.
    OwnedFileHandle file(CreateFileW(path.text(), FILE_APPEND_DATA | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError(path.text());
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
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u  ", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
    CharBuffer text;
    text.appendText(stamp, TextLength(stamp));
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
