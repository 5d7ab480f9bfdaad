#include "installer/ExistingInstall.h"

#include "installer/UninstallRegistration.h"

#include <windows.h>

static bool KeyPresent(HKEY root, const Str& keyPath)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(root, keyPath.text(), 0, 0, &key);
    if (result == ERROR_SUCCESS) {
        RegCloseKey(key);
        return true;
    }
    return result != ERROR_FILE_NOT_FOUND && result != ERROR_PATH_NOT_FOUND;
}

ExistingInstall FindExistingInstall(const Str& programName)
{
    Str keyPath = UninstallKeyPath(programName);
    return ExistingInstall{KeyPresent(HKEY_CURRENT_USER, keyPath), KeyPresent(HKEY_LOCAL_MACHINE, keyPath)};
}
