#include "installer/UninstallData.h"

#include "archive/EntryFile.h"
#include "core/Error.h"

#include <windows.h>

static void AppendReversed(Str& text, const StrArray& items)
{
    for (int64_t i = items.length() - 1; i >= 0; i--) {
        text.append(items.ref(i));
        if (i > 0)
            text.append(L"|", 1);
    }
}

static void AppendLine(Str& text, const wchar_t* key, const Str& value)
{
    text.append(Str(key));
    text.append(value);
}

Str BuildUninstallData(const UninstallData& data)
{
    Str text = Concat(Str(L"path="), data.installDir);
    text.append(Str(L"\nauto-delete-files="));
    AppendReversed(text, data.files);
    text.append(Str(L"\nauto-delete-directories="));
    AppendReversed(text, data.directories);
    if (!data.deleteFiles.isEmpty())
        AppendLine(text, L"\ndelete-files=", data.deleteFiles);
    if (!data.askDeleteFiles.isEmpty())
        AppendLine(text, L"\nask-delete-files=", data.askDeleteFiles);
    if (!data.deleteDirectories.isEmpty())
        AppendLine(text, L"\ndelete-directories=", data.deleteDirectories);
    AppendLine(text, L"\nexe-file=", data.exeFile);
    AppendLine(text, L"\nname=", data.programName);
    if (data.perUserInstall)
        text.append(Str(L"\nprivate-install=1"));
    if (data.createdDirectories.length() > 0) {
        text.append(Str(L"\ncreated-directories="));
        AppendReversed(text, data.createdDirectories);
    }
    return text;
}

ByteArray UninstallDataBytes(const Str& text)
{
    Str lines;
    int64_t start = 0;
    for (int64_t i = 0; i < text.length(); i++) {
        if (text.at(i) == L'\n') {
            lines.append(text.text() + start, i - start);
            lines.append(L"\r\n", 2);
            start = i + 1;
        }
    }
    lines.append(text.text() + start, text.length() - start);
    ByteArray bytes;
    bytes.makeEmpty();
    if (lines.isEmpty())
        return bytes;
    int units = CheckInt(lines.length());
    int size = WideCharToMultiByte(CP_UTF8, 0, lines.text(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        ThrowLastError();
    bytes.insertUninitialized(0, size);
    WideCharToMultiByte(CP_UTF8, 0, lines.text(), units, reinterpret_cast<char*>(bytes.items()), size,
                        nullptr, nullptr);
    return bytes;
}

void WriteUninstallData(const Str& path, const Str& text)
{
    ByteArray bytes = UninstallDataBytes(text);
    ReplaceFileWith(path, bytes.items(), bytes.length(), nullptr);
}
