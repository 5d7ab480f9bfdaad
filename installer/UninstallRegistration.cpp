#include "installer/UninstallRegistration.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "installer/InstallHost.h"
#include "script/InstallScript.h"

Str UninstallKeyPath(const Str& programName)
{
    return Concat(Str(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"), programName);
}

// Each value's failure names the call and the value.
static void Check(LONG result, const wchar_t* call, const wchar_t* name)
{
    if (result != ERROR_SUCCESS)
        ThrowWinError(static_cast<uint32_t>(result), name, call);
}

static void SetText(HKEY key, const wchar_t* name, const Str& value)
{
    DWORD bytes = static_cast<DWORD>(CheckInt((value.length() + 1) * 2));
    Check(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text()), bytes),
          L"RegSetValueExW", name);
}

static void SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    Check(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
          L"RegSetValueExW", name);
}

// An optional value: written when there is one, removed otherwise.
static void SetOptionalText(HKEY key, const wchar_t* name, const Str& value)
{
    if (!value.isEmpty())
        return SetText(key, name, value);
    LONG result = RegDeleteValueW(key, name);
    Check(result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result, L"RegDeleteValueW", name);
}

static DWORD KibiBytes(int64_t bytes)
{
    int64_t kib = bytes <= 0 ? 0 : (bytes + 1023) / 1024;
    return kib > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<DWORD>(kib);
}

void RegisterUninstaller(InstallHost& host, HKEY root, const Str& keyPath, const Str& displayName,
                         const Str& uninstallCommand, const Str& iconPath, const Str& publisher,
                         const Str& version, const Str& installLocation, int64_t installedBytes,
                         const Str& url)
{
    try {
        OwnedKey key;
        Check(RegCreateKeyExW(root, keyPath.text(), 0, const_cast<wchar_t*>(L""), REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key.receive(), nullptr),
              L"RegCreateKeyExW", keyPath.text());
        // Values in order; the first failure stops the rest.
        SetText(key.get(), L"DisplayName", displayName);
        SetText(key.get(), L"UninstallString", uninstallCommand);
        SetText(key.get(), L"QuietUninstallString", Concat(uninstallCommand, Str(L" /S")));
        SetText(key.get(), L"DisplayIcon", iconPath);
        SetOptionalText(key.get(), L"Publisher", publisher);
        SetOptionalText(key.get(), L"ProductVersion", version);
        SetOptionalText(key.get(), L"DisplayVersion", version);
        SetText(key.get(), L"InstallLocation", installLocation);
        SetNumber(key.get(), L"EstimatedSize", KibiBytes(installedBytes));
        SetNumber(key.get(), L"NoModify", 1);
        SetNumber(key.get(), L"NoRepair", 1);
        SetOptionalText(key.get(), L"URLInfoAbout", url);
    } catch (const Error& error) {
        HostLogFailure(host, error);
        HostAlert(host,
                  Tr(L"Nieudane dołączenie deistalatora.", L"Failed to register the uninstall program."),
                  L"+OK", 2);
        throw Abort();
    }
}

LONG UnregisterUninstaller(HKEY root, const Str& keyPath)
{
    OwnedKey key;
    LONG result = RegOpenKeyExW(root, keyPath.text(), 0, KEY_ALL_ACCESS, key.receive());
    if (result != ERROR_SUCCESS)
        return result;
    const wchar_t* values[] = {L"DisplayName",    L"UninstallString", L"DisplayIcon",
                               L"Publisher",      L"ProductVersion",  L"QuietUninstallString",
                               L"DisplayVersion", L"InstallLocation", L"EstimatedSize",
                               L"NoModify",       L"NoRepair",        L"URLInfoAbout"};
    for (const wchar_t* value : values)
        RegDeleteValueW(key.get(), value);
    key.reset();
    return RegDeleteKeyW(root, keyPath.text());
}
