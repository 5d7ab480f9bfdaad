#include "uninstaller/UninstallDataFile.h"

#include "core/AppContext.h"
#include "core/Array.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/FileSecurity.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "core/Utf8.h"
#include "installer/UninstallRegistration.h"

#include <windows.h>

enum : int64_t { LargestDataFile = 16 << 20 }; // far beyond any list of files

DataFile ReadDataFile(const Str& path)
{
    OwnedFileHandle file(CreateFileW(path.text(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        ThrowLastError(path.text(), L"CreateFileW");
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size))
        ThrowLastError(path.text(), L"GetFileSizeEx");
    if (size.QuadPart > LargestDataFile)
        throw WinError(ErrTooLarge, path.text());
    ByteArray bytes;
    bytes.resize(size.QuadPart);
    int64_t done = 0;
    while (done < size.QuadPart) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.items() + done, static_cast<DWORD>(size.QuadPart - done), &got,
                      nullptr))
            ThrowLastError(path.text(), L"ReadFile");
        if (got == 0)
            throw EofError(path.text());
        done += got;
    }
    DataFile data;
    data.onlyAdministratorsCanChange =
        !IsReparsePointHandle(file.get()) && OnlyAdministratorsCanChange(file.get());
    data.plan = ParseUninstallData(path, Utf8ToStr(bytes.items(), size.QuadPart));
    return data;
}

Str RegisteredDataFile(const Str& programName)
{
    OwnedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKeyPath(programName).text(), 0, KEY_QUERY_VALUE,
                      key.receive()) != ERROR_SUCCESS)
        return Str();
    CharBuffer command;
    command.reserveZeros(4096);
    DWORD bytes = static_cast<DWORD>(2 * (command.length() - 1)), type = 0;
    if (RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type,
                         reinterpret_cast<BYTE*>(command.text()), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return Str();
    // "<uninstaller>" "<data file>"
    const wchar_t* text = command.text();
    int64_t length = TextLength(text), quotes[4], found = 0;
    for (int64_t i = 0; i < length && found < 4; i++)
        if (text[i] == L'"')
            quotes[found++] = i;
    if (found < 4)
        return Str();
    return Str(text + quotes[2] + 1, quotes[3] - quotes[2] - 1);
}

Str DistrustedDataFile(const Str& path, const DataFile& data)
{
    Str registered = RegisteredDataFile(data.plan.programName);
    if (registered.isEmpty() || !StrEqualNoCase(NormalizePath(registered), NormalizePath(path))) {
        const wchar_t* pieces[] = {
            Tr(L"Plik danych deinstalacji \"", L"The uninstall data file \""),
            path.text(),
            Tr(L"\" nie jest plikiem zarejestrowanym dla programu ", L"\" is not the one registered for "),
            data.plan.programName.text(),
            Tr(L" na liście zainstalowanych programów.", L" in the list of installed programs."),
            nullptr};
        return ConcatList(pieces);
    }
    if (!data.onlyAdministratorsCanChange) {
        const wchar_t* pieces[] = {Tr(L"Plik danych deinstalacji \"", L"The uninstall data file \""),
                                   path.text(),
                                   Tr(L"\" może być zmieniany przez użytkowników bez uprawnień "
                                      L"administratora, więc nie można mu zaufać przy "
                                      L"usuwaniu z uprawnieniami administratora.",
                                      L"\" can be changed by users without administrator rights, so it "
                                      L"cannot be trusted for a removal with "
                                      L"administrator rights."),
                                   nullptr};
        return ConcatList(pieces);
    }
    return Str();
}
