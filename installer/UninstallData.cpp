#include "installer/UninstallData.h"

#include "archive/EntryFile.h"
#include "core/Error.h"

#include <windows.h>

// The text is built in a growing buffer: appending to a Str copies all of it each time, which
// for thousands of files costs time in the square of their number.
static void AppendText(CharBuffer& text, const Str& piece)
{
    text.appendText(piece.text(), piece.length());
}

static void AppendText(CharBuffer& text, const wchar_t* piece)
{
    text.appendText(piece, static_cast<int64_t>(wcslen(piece)));
}

static void AppendReversed(CharBuffer& text, const StrArray& items)
{
    for (int64_t i = items.length() - 1; i >= 0; i--) {
        AppendText(text, items.ref(i));
        if (i > 0)
            AppendText(text, L"|");
    }
}

static void AppendLine(CharBuffer& text, const wchar_t* key, const Str& value)
{
    AppendText(text, key);
    AppendText(text, value);
}

Str BuildUninstallData(const UninstallData& data)
{
    CharBuffer text;
    text.makeEmpty();
    AppendText(text, L"path=");
    AppendText(text, data.installDir);
    AppendText(text, L"\nauto-delete-files=");
    AppendReversed(text, data.files);
    AppendText(text, L"\nauto-delete-directories=");
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
        AppendText(text, L"\nprivate-install=1");
    if (data.createdDirectories.length() > 0) {
        AppendText(text, L"\ncreated-directories=");
        AppendReversed(text, data.createdDirectories);
    }
    return Str(text.text(), text.length());
}

ByteArray UninstallDataBytes(const Str& text)
{
    CharBuffer lines;
    lines.makeEmpty();
    int64_t start = 0;
    for (int64_t i = 0; i < text.length(); i++) {
        if (text.text()[i] == L'\n') {
            lines.appendText(text.text() + start, i - start);
            lines.appendText(L"\r\n", 2);
            start = i + 1;
        }
    }
    lines.appendText(text.text() + start, text.length() - start);
    ByteArray bytes;
    bytes.makeEmpty();
    if (lines.length() == 0)
        return bytes;
    int units = CheckInt(lines.length());
    int size = WideCharToMultiByte(CP_UTF8, 0, lines.text(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        ThrowLastError(nullptr, L"WideCharToMultiByte");
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
