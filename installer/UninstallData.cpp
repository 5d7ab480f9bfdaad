#include "installer/UninstallData.h"

#include "archive/EntryFile.h"
#include "core/Error.h"
#include "core/File.h"
#include "core/TextWriter.h"

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

void WriteUninstallData(const Str& path, const Str& text)
{
    Str temporary = Concat(path, Str(L"$$"));
    File file;
    try {
        file.open(temporary, FileWrite, -4);
        file.encoding = 0;
        file.lineBreaks = true;
        TextWriter(file).write(text);
        file.close();
    } catch (...) {
        file.release(); // closes the handle if it is still open
        DeleteFileW(temporary.text());
        throw;
    }
    MoveIntoPlace(temporary, path, nullptr);
}
