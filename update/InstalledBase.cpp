#include "update/InstalledBase.h"

#include "archive/ArchiveFormat.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/File.h"
#include "core/KeyValueList.h"
#include "core/Path.h"
#include "core/StrFormat.h"
#include "core/Utf8.h"
#include "installer/ExistingInstall.h"
#include "installer/ListItem.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"
#include "script/ScriptValues.h"

#include <windows.h>

enum : int64_t { LargestDataFile = 64 << 20, ComparePiece = 1 << 20 };

InstallKind InstalledBaseKind(const Str& programName)
{
    if (!IsUpdateInstaller())
        return KindAsDecided;
    ExistingInstall existing = FindExistingInstall(programName);
    return existing.currentUser && !existing.allUsers ? KindCurrentUser : KindAsDecided;
}

void UseInstalledLocation()
{
    if (!IsUpdateInstaller())
        return;
    HKEY root = Script.perUserInstall ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    wchar_t location[MAX_PATH + 1] = {};
    DWORD bytes = sizeof location - sizeof(wchar_t), type = 0;
    if (RegGetValueW(root, UninstallKeyPath(Script.programName).text(), L"InstallLocation", RRF_RT_REG_SZ,
                     &type, location, &bytes) == ERROR_SUCCESS &&
        location[0])
        Script.installDir = location;
}

namespace {

enum class Verdict { Same, Missing, Differs };

// Opens path for reading; false when there is no such file.
bool OpenIfThere(File& file, const Str& path)
{
    try {
        file.open(path, FileRead, 0);
        return true;
    } catch (const WinError& error) {
        if (error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND)
            return false;
        throw;
    }
}

// Whether the file at path has the size and CRC-32 given, read a piece at a time with the window
// answering between pieces.
Verdict CompareFile(InstallHost& host, const Str& path, int64_t size, uint32_t crc)
{
    File file;
    if (!OpenIfThere(file, path))
        return Verdict::Missing;
    if (file.size() != size)
        return Verdict::Differs;
    ByteArray buffer;
    buffer.resizeForFilling(size < ComparePiece ? size : ComparePiece);
    uint32_t running = 0;
    for (int64_t done = 0; done < size;) {
        int64_t got = file.read(buffer.items(), buffer.length());
        if (got == 0)
            return Verdict::Differs; // it shrank meanwhile
        running = Crc32Update(running, buffer.items(), got);
        done += got;
        HostKeepAnswering(host);
    }
    return running == crc ? Verdict::Same : Verdict::Differs;
}

// The data file's text, or false when there is none at path.
bool ReadDataText(const Str& path, Str& text)
{
    File file;
    if (!OpenIfThere(file, path))
        return false;
    int64_t size = file.size();
    if (size > LargestDataFile)
        throw WinError(ErrTooLarge, path.text());
    ByteArray bytes;
    bytes.resizeForFilling(size);
    if (file.read(bytes.items(), size) != size)
        throw EofError(path.text());
    text = Utf8ToStr(bytes.items(), size);
    return true;
}

Str Shown(const Str& version)
{
    return version.isEmpty() ? Str(Tr(L"(bez numeru)", L"(no number)")) : version;
}

// The one alert of a refusal: what the update installs over what, why not here, nothing changed.
[[noreturn]] void Refuse(InstallHost& host, const Str& version, const UpdatePlan& plan, const Str& why)
{
    Str text = Concat(StrFormat(Tr(L"Ta aktualizacja instaluje [] [] tylko na wersję [].\n\n",
                                   L"This update installs [] [] over version [] only.\n\n"),
                                Script.programName, Shown(version), Shown(plan.baseVersion)),
                      why, Str(Tr(L"\n\nNic nie zostało zmienione.", L"\n\nNothing was changed.")));
    HostStatus(host,
               Str(Tr(L"Sprawdzanie zainstalowanej wersji    NIEUDANE",
                      L"Checking the installed version    FAILED")),
               Str());
    HostAlert(host, text.text(), L"+OK", 1);
    throw Abort();
}

} // namespace

void CheckInstalledBase(InstallHost& host, UpdatePlan& plan, const Str& dataPath, const Str& version)
{
    HostStatus(host, Str(Tr(L"Sprawdzanie zainstalowanej wersji...", L"Checking the installed version...")),
               Str());
    Str text;
    if (!ReadDataText(dataPath, text))
        Refuse(host, version, plan,
               StrFormat(Tr(L"Nie ma instalacji programu [] w katalogu [].",
                            L"There is no installation of [] in []."),
                         Script.programName, Script.installDir));
    KeyValueList values;
    ParseKeyValueText(text, values);
    if (values.find(L"version") >= 0 && !(values.valueOf(L"version") == plan.baseVersion))
        Refuse(host, version, plan,
               StrFormat(Tr(L"Zainstalowana jest wersja [].", L"The installed version is []."),
                         Shown(values.valueOf(L"version"))));
    for (int64_t i = 0; i < plan.baseFiles.length(); i++) {
        const BaseFile& file = plan.baseFiles.ref(i);
        Verdict verdict = CompareFile(host, file.path, file.size, file.crc);
        if (verdict == Verdict::Missing)
            Refuse(host, version, plan,
                   StrFormat(Tr(L"Brakuje pliku [] wersji [].", L"The file [] of version [] is missing."),
                             file.name, Shown(plan.baseVersion)));
        if (verdict == Verdict::Differs)
            Refuse(host, version, plan,
                   StrFormat(Tr(L"Zainstalowany plik [] różni się od pliku wersji [].",
                                L"The installed file [] differs from that of version []."),
                             file.name, Shown(plan.baseVersion)));
    }
    plan.installedFiles = SplitList(values.valueOf(L"auto-delete-files"));
    plan.installedDirectories = SplitList(values.valueOf(L"auto-delete-directories"));
    // Listed innermost first, as the uninstaller removes them; kept outermost first.
    StrArray created = SplitList(values.valueOf(L"created-directories"));
    plan.createdDirectories.makeEmpty();
    for (int64_t i = created.length() - 1; i >= 0; i--)
        plan.createdDirectories.append(created.ref(i));
    if (host.writeLog)
        HostLog(host, StrFormat(Tr(L"Zainstalowana wersja [] w [] zgadza się ([] plików sprawdzonych)",
                                   L"The installed version [] in [] matches ([] files checked)"),
                                Shown(plan.baseVersion), Script.installDir, plan.baseFiles.length()));
}
