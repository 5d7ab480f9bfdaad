#include "installer/Startup.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ErrorMessage.h"
#include "core/Path.h"
#include "core/ShowError.h"
#include "gui/AlertDialog.h"
#include "installer/ElevatedRelaunch.h"
#include "installer/ExistingInstall.h"
#include "installer/ExitCodes.h"
#include "installer/InstallLog.h"
#include "installer/InstallMutex.h"
#include "installer/InstallProgram.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"

#include <windows.h>
#include <objbase.h>

namespace {

// What start-up does now: the log and the alert of a failure say it.
const wchar_t* StartStep = L"";

void SetExitCode(int32_t code)
{
    CurrentAppContext()->exitCode = code;
}

Str FileNameOf(const Str& path)
{
    Str directory = DirectoryOf(path);
    return Str(path.text() + directory.length(), path.length() - directory.length());
}

Str HelpCaption()
{
    return Script.titleText.isEmpty() ? DefaultHeadline() : Script.titleText;
}

// Nothing is installed: why goes into the log, and to the user in an alert, or with /S into the
// exit code.
void Refuse(const InstallerSwitches& switches, const Str& why, int32_t silentCode)
{
    WriteInstallLog(why);
    if (switches.silent)
        SetExitCode(silentCode);
    else
        ShowAlert(nullptr, why.text(), HelpCaption().text(), L"+OK", AlertWarning);
}

// A directory installed for all users holds the all-users uninstaller.
bool InstalledForAllUsers(const Str& directory)
{
    Str uninstaller = Concat(AddTrailingSlash(directory), Str(L"_de_install.exe"));
    DWORD attributes = GetFileAttributesW(uninstaller.text());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool NeedsElevation(const InstallerSwitches& switches)
{
    if (isAdmin || switches.kind == KindCurrentUser)
        return false;
    if (switches.kind == KindAllUsers)
        return true;
    if (switches.updateRequest)
        return InstalledForAllUsers(switches.updateDirectory);
    return FindExistingInstall(Script.programName).allUsers || Script.preferShared;
}

// The copy does the work and writes its own steps into the log; its code becomes this one's.
void RelaunchFor(const InstallerSwitches& switches)
{
    Str parameters = RelaunchParameters(switches, switches.kind);
    WriteInstallLog(Concat(Str(Tr(L"Uruchamianie z uprawnieniami administratora: ",
                                  L"Starting again with administrator rights: ")),
                           parameters));
    const wchar_t* text = parameters.isEmpty() ? nullptr : parameters.text();
    if (!switches.silent) {
        RelaunchElevated(nullptr, text);
        return;
    }
    switch (StartElevatedCopy(nullptr, text, true)) {
    case CopyRan:
        break;
    case ElevationRefused:
        WriteInstallLog(Str(Tr(L"Odmowa uprawnień administratora.", L"Administrator rights were refused.")));
        SetExitCode(ExitElevationRefused);
        break;
    case CopyNotStarted:
        WriteInstallLog(Str(Tr(L"Nieudane uruchomienie procesu.", L"Failed to start new process.")));
        SetExitCode(ExitInstallFailed);
        break;
    }
}

// The settings that the switches change: who the installation is for, where it goes, its links.
void ApplySwitches(const InstallerSwitches& switches)
{
    if (switches.updateRequest) {
        Script.installDir = switches.updateDirectory;
        Script.updateMode = true;
    }
    if (switches.kind == KindCurrentUser && !Script.perUserInstall) {
        Script.perUserInstall = true;
        Script.offerAllUsers = false; // the switch has chosen already
        if (!switches.updateRequest)
            Script.installDir = Concat(LocalAppDataDir(), ScriptValue(L"nazwa", L"name"));
    }
    if (!switches.directory.isEmpty())
        Script.installDir = switches.directory;
    if (switches.noShortcuts) {
        Script.startMenuShortcut = false;
        Script.desktopShortcut = false;
    }
}

void InstallSilently()
{
    InstallHost host;
    host.silent = true;
    host.writeLog = LogToInstallLog;
    try {
        InstallProgram(host);
    } catch (const Abort&) {
    } catch (const Error&) {
        // InstallProgram has logged it
    }
    if (CurrentAppContext()->exitCode != ExitInstalled)
        SetExitCode(ExitInstallFailed);
}

void RunMainForm()
{
    MainForm* form = new MainForm();
    StartStep = Tr(L"obsługa okna instalatora", L"answering the installer's window");
    try {
        if (form->isShown())
            form->runLoop();
    } catch (...) {
        delete form;
        throw;
    }
    delete form;
}

void LogStart(const InstallerSwitches& switches)
{
    Str version = ScriptValues.valueOf(L"version");
    WriteInstallLog(Concat(Str(Tr(L"Instalator Lumivo: ", L"Lumivo setup: ")), Script.programName,
                           version.isEmpty() ? Str() : Concat(Str(L" "), version)));
    WriteInstallLog(Concat(Str(Tr(L"Wiersz poleceń: ", L"Command line: ")), Str(GetCommandLineW())));
    WriteInstallLog(Str(isAdmin ? Tr(L"Uprawnienia administratora: tak", L"Administrator rights: yes")
                                : Tr(L"Uprawnienia administratora: nie", L"Administrator rights: no")));
    if (switches.silent)
        WriteInstallLog(Str(Tr(L"Tryb cichy", L"Silent mode")));
}

void LogPlace()
{
    const wchar_t* kind = Script.perUserInstall ? Tr(L"dla bieżącego użytkownika", L"for the current user")
                                                : Tr(L"dla wszystkich użytkowników", L"for all users");
    const wchar_t* pieces[] = {Script.updateMode ? Tr(L"Aktualizacja ", L"Update ")
                                                 : Tr(L"Instalacja ", L"Installation "),
                               kind, Tr(L" do katalogu ", L" into "), Script.installDir.text(), nullptr};
    WriteInstallLog(ConcatList(pieces));
}

} // namespace

void RunInstaller(const InstallerSwitches& switches)
{
    if (switches.help) {
        ShowAlert(nullptr, SwitchesHelpText(FileNameOf(ModuleFileName())).text(), HelpCaption().text(),
                  L"+OK", AlertInformation);
        SetExitCode(ExitInstalled);
        return;
    }
    if (switches.problem != SwitchesFine) {
        Refuse(switches, SwitchProblemText(switches), ExitBadSwitches);
        return;
    }
    if (NeedsElevation(switches)) {
        StartStep = Tr(L"uruchamianie z uprawnieniami administratora",
                       L"starting again with administrator rights");
        RelaunchFor(switches);
        return;
    }
    ApplySwitches(switches);
    if (Script.installDir.isEmpty())
        return;
    if (switches.silent && (Script.programName.isEmpty() || Script.exeFile.isEmpty())) {
        WriteInstallLog(Str(Tr(L"W pliku \"INSTALL.SCRIPT\" nie ma nazwy programu lub pliku wykonywalnego.",
                               L"The \"INSTALL.SCRIPT\" file names no program or no executable file.")));
        SetExitCode(ExitStartFailed);
        return;
    }
    if (!Script.programName.isEmpty() && !TakeInstallMutex(Script.programName, !Script.perUserInstall)) {
        const wchar_t* pieces[] = {
            Tr(L"Trwa już inna instalacja programu ", L"Another installation of "), Script.programName.text(),
            Tr(L". Poczekaj na jej koniec.", L" is running. Wait until it has ended."), nullptr};
        Refuse(switches, ConcatList(pieces), ExitAnotherInstall);
        return;
    }
    try {
        LogPlace();
        StartStep = switches.silent ? Tr(L"instalacja", L"installing")
                                    : Tr(L"otwieranie okna instalatora", L"opening the installer's window");
        if (switches.silent)
            InstallSilently();
        else
            RunMainForm();
    } catch (...) {
        ReleaseInstallMutex();
        throw;
    }
    ReleaseInstallMutex();
}

void AppMain()
{
    CoInitialize(nullptr);
    try {
        CurrentAppContext()->exitCode = ExitNotInstalled;
        bool silent = false;
        try {
            StartStep = Tr(L"odczyt wiersza poleceń", L"reading the command line");
            RunSwitches = ParseInstallerSwitches(GetCommandLineW());
            silent = RunSwitches.silent;
            isAdmin = ShellSaysAdministrator();
            StartStep = Tr(L"otwieranie dziennika", L"opening the log");
            if (!RunSwitches.logFile.isEmpty())
                OpenInstallLog(RunSwitches.logFile);
            StartStep = Tr(L"odczyt skryptu instalacji", L"reading the install script");
            LoadInstallScript();
            LogStart(RunSwitches);
            StartStep = Tr(L"wybór sposobu instalacji", L"choosing how to install");
            RunInstaller(RunSwitches);
        } catch (const Abort&) {
        } catch (const Error& error) {
            WriteInstallLog(FailureLine(Str(StartStep), error));
            if (silent)
                SetExitCode(ExitStartFailed);
            else
                ShowError(nullptr, Tr(L"Nieudane uruchomienie programu Lumivo.", L"Lumivo failed to start"),
                          error, StartStep);
        }
        WriteInstallLog(
            Concat(Str(Tr(L"Kod wyjścia: ", L"Exit code: ")), IntToStr(CurrentAppContext()->exitCode)));
    } catch (...) {
        CloseInstallLog();
        ReleaseInstallScript();
        ReleaseArchive();
        CoUninitialize();
        throw;
    }
    CloseInstallLog();
    ReleaseInstallScript();
    ReleaseArchive();
    CoUninitialize();
}
