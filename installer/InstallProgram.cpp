#include "installer/InstallProgram.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "gui/Form.h"
#include "installer/FileList.h"
#include "installer/InstallDirectory.h"
#include "installer/InstallFile.h"
#include "installer/ListItem.h"
#include "installer/Shortcut.h"
#include "installer/UninstallData.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"

#include <windows.h>

namespace {

// Every path and list of one installation, derived from the settings at the start.
struct InstallPlan {
    HKEY root;
    Str keyPath;
    Str dataPath;
    Str uninstallerName;
    Str uninstallerPath;
    Str uninstallCommand;
    Str programPath;
    Str publisher;
    Str version;
    StrArray files;
    StrArray destinations;
    StrArray directories;
    StrArray absoluteDirectories;
    UninstallData data;
};

Str InDir(const Str& name)
{
    return Concat(Script.installDir, Str(L"\\"), name);
}

InstallPlan MakePlan()
{
    InstallPlan plan;
    plan.root = Script.perUserInstall ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    plan.keyPath = UninstallKeyPath(Script.programName);
    plan.dataPath = InDir(Concat(Script.programName, Str(L".de")));
    plan.uninstallerName = Script.perUserInstall ? L"_de_installu.exe" : L"_de_install.exe";
    plan.uninstallerPath = InDir(plan.uninstallerName);
    const wchar_t* command[] = {L"\"", plan.uninstallerPath.text(), L"\" \"", plan.dataPath.text(), L"\"", nullptr};
    plan.uninstallCommand = ConcatList(command);
    plan.programPath = InDir(Script.exeFile);
    plan.publisher = ScriptValues.valueOf(L"publisher");
    plan.version = ScriptValues.valueOf(L"version");

    plan.files = ExpandFileList(ScriptValue(L"kopiuj", L"copy-files"));
    plan.directories = NeededDirectories(plan.files);
    Str base = AddTrailingSlash(Script.installDir);
    plan.destinations.makeEmpty();
    for (int64_t i = 0; i < plan.files.length(); i++)
        plan.destinations.append(Concat(base, plan.files.ref(i)));
    plan.absoluteDirectories.makeEmpty();
    for (int64_t i = 0; i < plan.directories.length(); i++)
        plan.absoluteDirectories.append(Concat(base, plan.directories.ref(i)));

    plan.data.installDir = Script.installDir;
    plan.data.files = plan.files;
    plan.data.directories = plan.directories;
    plan.data.deleteFiles = ScriptValue(L"kasuj", L"delete-files");
    plan.data.askDeleteFiles = ScriptValue(L"kasuj-pytajac", L"ask-delete-files");
    plan.data.deleteDirectories = ScriptValue(L"katalogi", L"delete-directories");
    plan.data.exeFile = Script.exeFile;
    plan.data.programName = Script.programName;
    plan.data.perUserInstall = Script.perUserInstall;
    return plan;
}

// Nothing may be written, or removed by the clean-up, outside the installation directory.
bool FilesStayInside(const StrArray& files)
{
    for (int64_t i = 0; i < files.length(); i++)
        if (!IsContainedRelativePath(files.ref(i)))
            return false;
    return true;
}

void CreateMissingDirectory(const Str& path)
{
    WIN32_FIND_DATAW found;
    OwnedFind find(FindFirstFileW(path.text(), &found));
    if (!find)
        CreateDirectoryW(path.text(), nullptr); // a failure shows up when the first file is copied
}

void CleanUp(Form& form, StatusSetter setStatus, const InstallPlan& plan)
{
    try {
        setStatus(form, Str(Tr(L"Sprzątanie po nieudanej instalacji", L"Cleaning after a failed installation")),
                  Str());
    } catch (...) {
    }
    UnregisterUninstaller(plan.root, plan.keyPath);
    DeleteShortcut(form, StartMenuFolder(Script.perUserInstall), Script.programName);
    DeleteShortcut(form, DesktopFolder(Script.perUserInstall), Script.programName);
    for (int64_t i = plan.destinations.length() - 1; i >= 0; i--)
        DeleteFileW(plan.destinations.ref(i).text());
    for (int64_t i = plan.absoluteDirectories.length() - 1; i >= 0; i--)
        RemoveDirectoryW(plan.absoluteDirectories.ref(i).text());
    DeleteFileW(plan.dataPath.text());
    DeleteFileW(plan.uninstallerPath.text());
    RemoveDirectoryW(Script.installDir.text());
    try {
        form.alert(Tr(L"Nieudana instalacja programu.", L"The program could not be installed properly."),
                   Script.titleText.text(), L"+OK", 2);
    } catch (...) {
    }
}

} // namespace

void InstallProgram(Form& form, StatusSetter setStatus)
{
    setStatus(form, Str(Tr(L"Przygotowywanie instalacji, proszę czekać.", L"Initializing setup, please wait.")),
              Str());
    InstallPlan plan = MakePlan();
    if (Script.titleText.isEmpty())
        Script.titleText = DefaultHeadline();
    Str dataText = BuildUninstallData(plan.data);

    if (plan.files.length() == 0 || Script.exeFile.isEmpty() || Script.programName.isEmpty() ||
        !FilesStayInside(plan.files)) {
        setStatus(form, Str(Tr(L"Niekompletne dane instalacji.", L"Incomplete installation data.")), Str());
        form.alert(Tr(L"Nieprawidłowy opis instalacji.\nNie mogę zainstalować.",
                          L"Invalid installation description.\nCan not install."),
                   Script.titleText.text(), L"+OK", 2);
        throw Abort();
    }

    setStatus(form, Str(Tr(L"Tworzenie katalogu...", L"Creating directory...")), Str());
    StrArray createdFolders = MakeInstallDirectory(form, setStatus);

    // From the first written file on, every failure is undone before it is reported.
    try {
        setStatus(form, Str(Tr(L"Kopiowanie plików...", L"Copying files...")), Str());
        SetFileAttributesW(plan.dataPath.text(), FILE_ATTRIBUTE_NORMAL);
        WriteUninstallData(plan.dataPath, dataText);
        InstallFile(form, plan.uninstallerName, plan.uninstallerPath);
        for (int64_t i = 0; i < plan.absoluteDirectories.length(); i++)
            CreateMissingDirectory(plan.absoluteDirectories.ref(i));
        for (int64_t i = 0; i < plan.files.length(); i++)
            InstallFile(form, plan.files.ref(i), plan.destinations.ref(i));

        if (Script.updateMode) {
            setStatus(form, Str(Tr(L"Kopiowanie plików    WYKONANO", L"Copying files    SUCCESS")), Str());
        } else {
            setStatus(form, Str(Tr(L"Kopiowanie plików    WYKONANO", L"Copying files    SUCCESS")),
                      Str(Tr(L"Tworzenie skrótów...", L"Creating shortcuts...")));
            if (Script.startMenuShortcut)
                AddStartMenuShortcut(form, Script.programName, plan.programPath);
            if (Script.desktopShortcut)
                AddDesktopShortcut(form, Script.programName, plan.programPath);
            RegisterUninstaller(form, plan.root, plan.keyPath, Script.programName, plan.uninstallCommand,
                                plan.programPath, plan.publisher, plan.version);
            setStatus(form, Str(Tr(L"Kopiowanie plików    WYKONANO", L"Copying files       SUCCESS")),
                      Str(Tr(L"Tworzenie skrótów    WYKONANO", L"Creating shortcuts  SUCCESS")));
            form.alert(Tr(L"Instalacja wykonana prawidłowo.", L"Installation completed successfully."),
                       Script.titleText.text(), L"+OK", 4);
        }
        CurrentAppContext()->exitCode = 0;
    } catch (...) {
        if (!Script.updateMode) {
            CleanUp(form, setStatus, plan);
            RemoveCreatedFolders(createdFolders);
        }
        throw Abort();
    }
}
