#include "installer/Startup.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Path.h"
#include "core/ShowError.h"
#include "core/StrFormat.h"
#include "installer/ElevatedRelaunch.h"
#include "installer/ExistingInstall.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"

#include <windows.h>
#include <objbase.h>


Str UpdateParameters(const Str& directory)
{
    return StrFormat(L"--UPDATE \"[]\\\"", directory);
}

static bool IsUpdateRequest(const StrArray& arguments)
{
    return arguments.length() >= 2 &&
           (StrEqualNoCase(arguments.ref(0), L"::UPDATE") || StrEqualNoCase(arguments.ref(0), L"--UPDATE"));
}

// A directory installed for all users holds the all-users uninstaller.
static bool InstalledForAllUsers(const Str& directory)
{
    Str uninstaller = Concat(AddTrailingSlash(directory), Str(L"_de_install.exe"));
    DWORD attributes = GetFileAttributesW(uninstaller.text());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RunInstaller(const StrArray& arguments)
{
    if (IsUpdateRequest(arguments)) {
        Script.installDir = arguments.at(1);
        Script.updateMode = true;
        if (!isAdmin && InstalledForAllUsers(Script.installDir)) {
            Str parameters = UpdateParameters(arguments.ref(1));
            RelaunchElevated(nullptr, parameters.text());
            Script.installDir.release();
        }
    } else if (!isAdmin &&
               (FindExistingInstall(Script.programName).allUsers || Script.preferShared)) {
        RelaunchElevated(nullptr, nullptr);
        return;
    }
    if (Script.installDir.isEmpty())
        return;
    MainForm* form = new MainForm();
    try {
        if (form->isShown())
            form->runLoop();
    } catch (...) {
        delete form;
        throw;
    }
    delete form;
}

void AppMain()
{
    CoInitialize(nullptr);
    try {
        CurrentAppContext()->exitCode = 1;
        StrArray arguments = AppArguments();
        try {
            isAdmin = ShellSaysAdministrator();
            LoadInstallScript();
            RunInstaller(arguments);
        } catch (const Abort&) {
        } catch (const Error& error) {
            ShowError(nullptr, Tr(L"Nieudane uruchomienie programu Lumivo.", L"Lumivo failed to start"), error);
        }
    } catch (...) {
        ReleaseInstallScript();
        ReleaseArchive();
        CoUninitialize();
        throw;
    }
    ReleaseInstallScript();
    ReleaseArchive();
    CoUninitialize();
}
