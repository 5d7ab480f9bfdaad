#include "installer/InstallProgram.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryPipeline.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ErrorMessage.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "core/StrFormat.h"
#include "installer/FileList.h"
#include "installer/InstallDirectory.h"
#include "installer/InstallFile.h"
#include "installer/ListItem.h"
#include "installer/ProgramsInUse.h"
#include "installer/Shortcut.h"
#include "installer/UninstallData.h"
#include "installer/UninstallRegistration.h"
#include "installer/transaction/InstallTransaction.h"
#include "installer/transaction/RegistrySnapshot.h"
#include "installer/transaction/Rollback.h"
#include "script/InstallScript.h"
#include "update/InstalledBase.h"
#include "update/UpdatePlan.h"
#include "update/UpdateSteps.h"

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
    plan.data.version = plan.version;
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

void Log(InstallHost& host, const Str& line)
{
    if (host.writeLog)
        HostLog(host, line);
}

// Why the installation stops, in the log: the failure with its cause, or the cancel. The message
// of a failure, for the closing alert; empty after a cancel (the user knows why).
Str ReportStop(InstallHost& host)
{
    Str step = HostStepText(host);
    try {
        throw;
    } catch (const Error& error) {
        HostLogFailure(host, error);
        return ErrorMessage(error);
    } catch (const Abort&) {
        Log(host, Concat(Str(Tr(L"Przerwano: ", L"Stopped while ")), step));
    } catch (...) {
        Log(host, Concat(Str(Tr(L"Nieoczekiwany wyjątek: ", L"An unexpected exception while ")), step));
    }
    return Str();
}

// Undoes everything the transaction did; in a normal run the user is told once, with the cause.
void RollBack(InstallHost& host, InstallTransaction& transaction, const Str& cause)
{
    try {
        HostStatus(host,
                   Str(Tr(L"Sprzątanie po nieudanej instalacji", L"Cleaning after a failed installation")),
                   Str());
    } catch (...) {
    }
    Log(host, Str(Tr(L"Cofanie zmian instalacji", L"Undoing the changes of the installation")));
    if (!RollBackTransaction(transaction))
        Log(host,
            StrFormat(Tr(L"Nie wszystko dało się przywrócić; następna instalacja dokończy to z []",
                         L"Not everything could be put back; the next installation finishes it from []"),
                      transaction.backupDir));
    if (Script.updateMode)
        return;
    try {
        Str text(Tr(L"Nieudana instalacja programu.", L"The program could not be installed properly."));
        if (!cause.isEmpty())
            text = Concat(text, Str(L"\n\n"), cause);
        HostAlert(host, text.text(), L"+OK", 2);
    } catch (...) {
    }
}

void LogRegistryValues(InstallHost& host, const InstallPlan& plan)
{
    if (!host.writeLog)
        return;
    StrArray values = DescribeRegistryValues(plan.root, plan.keyPath);
    for (int64_t i = 0; i < values.length(); i++)
        Log(host, StrFormat(Tr(L"Rejestr []\\[]: []", L"Registry []\\[]: []"), RootName(plan.root),
                            plan.keyPath, values.ref(i)));
}

// Workers that unpack the entries and write the small new files ahead: writing waits for the
// system more than for a processor, so a few more than the processors.
int32_t WriteAheadWorkers()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    int32_t processors = info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
    return processors + 2;
}

// The unpacked size of the entries, as their records declare it (entries missing from the
// archive count nothing: they fail when they are copied).
int64_t UnpackedSize(const InstallPlan& plan)
{
    int64_t total = 0;
    const EntryLocation* uninstaller = LocateEntry(plan.uninstallerName.text(), plan.uninstallerName.length());
    if (uninstaller)
        total += uninstaller->entry.size;
    for (int64_t i = 0; i < plan.files.length(); i++) {
        const EntryLocation* location = LocateEntry(plan.files.ref(i).text(), plan.files.ref(i).length());
        if (location)
            total += location->entry.size;
    }
    return total;
}

// Installs the entry at index of the list (the uninstaller first), or for an update only counts
// one that stays as the installed base has it. Its size.
int64_t InstallOrKeep(InstallHost& host, InstallTransaction& transaction, EntryPipeline& entries,
                      const UpdatePlan& update, int64_t index, const Str& name, const Str& destination,
                      const CopyProgress& progress)
{
    if (update.isUpdate && update.kept.at(index))
        return KeepFile(host, name, destination);
    return InstallFile(host, transaction, entries, destination, progress);
}

void Install(InstallHost& host)
{
    HostStep(host, Tr(L"przygotowanie instalacji", L"preparing the installation"));
    HostStatus(host, Str(Tr(L"Przygotowywanie instalacji, proszę czekać.", L"Initializing setup, please wait.")),
              Str());
    InstallPlan plan = MakePlan();
    if (Script.titleText.isEmpty())
        Script.titleText = DefaultHeadline();
    Str dataText = BuildUninstallData(plan.data);

    if (plan.files.length() == 0 || Script.exeFile.isEmpty() || Script.programName.isEmpty() ||
        !FilesStayInside(plan.files)) {
        HostStatus(host, Str(Tr(L"Niekompletne dane instalacji.", L"Incomplete installation data.")), Str());
        HostAlert(host,
                  Tr(L"Nieprawidłowy opis instalacji.\nNie mogę zainstalować.",
                     L"Invalid installation description.\nCan not install."),
                  L"+OK", 2);
        throw Abort();
    }

    // The entries in the order they are written, unpacked ahead by the workers from here on.
    StrArray entryNames;
    entryNames.makeEmpty();
    entryNames.append(plan.uninstallerName);
    for (int64_t i = 0; i < plan.files.length(); i++)
        entryNames.append(plan.files.ref(i));
    // The workers write the new files ahead once their directories exist; these outlive them.
    StrArray entryPaths;
    entryPaths.makeEmpty();
    entryPaths.append(plan.uninstallerPath);
    for (int64_t i = 0; i < plan.destinations.length(); i++)
        entryPaths.append(plan.destinations.ref(i));
    // An update installer writes only the entries that are not kept as the installed base has them.
    UpdatePlan update = PlanUpdate(entryNames, entryPaths);
    ClearRepeatedPaths(update.writtenPaths);
    CloseProgramsInUse(host, entryPaths); // before anything is written
    // Declared before the pipeline, so that no worker that writes into them outlives them.
    PreparedDirectory directory;
    InstallTransaction transaction;
    PipelineLimits limits = DefaultPipelineLimits();
    limits.workers = WriteAheadWorkers();
    EntryPipeline entries(update.writtenNames, limits);

    HostStep(host, Tr(L"tworzenie katalogu", L"creating the directory"), Script.installDir);
    HostStatus(host, Str(Tr(L"Tworzenie katalogu...", L"Creating directory...")), Str());
    MakeInstallDirectory(host, directory);
    const StrArray& createdDirectories = directory.created;
    for (int64_t i = 0; i < createdDirectories.length(); i++)
        Log(host, StrFormat(Tr(L"Utworzono katalog []", L"Created directory []"), createdDirectories.ref(i)));
    try {
        HostStep(host, Tr(L"dokończenie przerwanej instalacji w", L"completing an interrupted installation in"),
                 Script.installDir);
        RecoverInterruptedInstall(host, directory, Script.programName, Script.perUserInstall);
        if (update.isUpdate) {
            HostStep(host, Tr(L"sprawdzenie zainstalowanej wersji w", L"checking the installed version in"),
                     Script.installDir);
            CheckInstalledBase(host, update, plan.dataPath, plan.version);
            entries.readBasesWith(InstalledBaseReader(update));
        }
    } catch (...) {
        ReleaseDirectory(directory);
        throw;
    }
    // The uninstaller removes the folders made above the directory when they end empty.
    plan.data.createdDirectories =
        update.isUpdate ? update.createdDirectories : FoldersAbove(createdDirectories, Script.installDir);
    dataText = BuildUninstallData(plan.data);

    // From here on every change is written down first, and every failure undone before it is
    // reported; the data file goes last, so that it always describes a complete installation.
    WriteAhead ahead = {&transaction, &update.writtenPaths, ByteArray(), 0};
    EntryHandler writeAhead = WriteAheadHandler(ahead);
    try {
        HostStatus(host, Str(Tr(L"Kopiowanie plików...", L"Copying files...")), Str());
        HostStep(host, Tr(L"rozpoczęcie dziennika w", L"starting the journal in"), Script.installDir);
        BeginTransaction(transaction, host, directory, Script.programName, Script.perUserInstall);
        int64_t total = UnpackedSize(plan), done = 0;
        HostProgress(host, done, total);
        HostStep(host, Tr(L"zapis", L"writing"), plan.uninstallerPath);
        done += InstallOrKeep(host, transaction, entries, update, 0, plan.uninstallerName, plan.uninstallerPath,
                              CopyProgress{done, total});
        HostProgress(host, done, total);
        StrArray newDirectories; // an array of its own: copies share their items
        newDirectories.makeEmpty();
        for (int64_t i = 0; i < createdDirectories.length(); i++)
            newDirectories.append(createdDirectories.ref(i));
        for (int64_t i = 0; i < plan.absoluteDirectories.length(); i++)
            if (MakeDirectory(transaction, plan.absoluteDirectories.ref(i)))
                newDirectories.append(plan.absoluteDirectories.ref(i));
        MarkNewDirectories(ahead, newDirectories);
        entries.handleAhead(&writeAhead);
        for (int64_t i = 0; i < plan.files.length(); i++) {
            StopIfCancelled(host);
            HostStep(host, Tr(L"zapis", L"writing"), plan.destinations.ref(i));
            done += InstallOrKeep(host, transaction, entries, update, i + 1, plan.files.ref(i),
                                  plan.destinations.ref(i), CopyProgress{done, total});
            HostProgress(host, done, total);
        }
        StopIfCancelled(host);
        StopEntries(host, entries);
        if (update.isUpdate)
            RemoveOldFiles(host, transaction, update, plan.files);

        if (!Script.updateMode) {
            HostStatus(host, Str(Tr(L"Kopiowanie plików    WYKONANO", L"Copying files    SUCCESS")),
                       Str(Tr(L"Tworzenie skrótów...", L"Creating shortcuts...")));
            HostStep(host, Tr(L"tworzenie skrótów do", L"creating the shortcuts to"), plan.programPath);
            if (Script.startMenuShortcut)
                AddStartMenuShortcut(host, transaction, Script.programName, plan.programPath);
            if (Script.desktopShortcut)
                AddDesktopShortcut(host, transaction, Script.programName, plan.programPath);
            HostStep(host, Tr(L"rejestracja deinstalatora w", L"registering the uninstaller in"),
                     Concat(Str(RootName(plan.root)), Str(L"\\"), plan.keyPath));
            SaveKey(transaction, plan.root, plan.keyPath);
            RegisterUninstaller(host, plan.root, plan.keyPath, Script.programName, plan.uninstallCommand,
                                plan.programPath, plan.publisher, plan.version, Script.installDir, done,
                                ScriptValues.valueOf(L"url"));
            LogRegistryValues(host, plan);
        }
        HostStep(host, Tr(L"zapis", L"writing"), plan.dataPath);
        // The data file says that the installation is complete: flushed, before the commit.
        ByteArray dataBytes = UninstallDataBytes(dataText);
        MemorySource data = {dataBytes.items(), dataBytes.length(), false};
        InstallBytes(host, transaction, SourceOf(data), dataBytes.length(), nullptr, plan.dataPath, nullptr,
                     FlushToDisk);
        StopIfCancelled(host);
        HostStep(host, Tr(L"zatwierdzenie instalacji w", L"completing the installation in"), Script.installDir);
        CommitTransaction(transaction);
    } catch (...) {
        Str cause = ReportStop(host);
        StopEntries(host, entries);
        RollBack(host, transaction, cause);
        throw Abort();
    }
    CurrentAppContext()->exitCode = 0; // complete, whatever happens to the closing message
    if (update.isUpdate)
        RemoveEmptiedDirectories(update, plan.directories);

    if (Script.updateMode) {
        HostStatus(host, Str(Tr(L"Kopiowanie plików    WYKONANO", L"Copying files    SUCCESS")), Str());
    } else {
        HostStatus(host, Str(Tr(L"Kopiowanie plików    WYKONANO", L"Copying files       SUCCESS")),
                   Str(Tr(L"Tworzenie skrótów    WYKONANO", L"Creating shortcuts  SUCCESS")));
        HostAlert(host, Tr(L"Instalacja wykonana prawidłowo.", L"Installation completed successfully."),
                  L"+OK", 4);
    }
    RestartProgramsClosed(host);
}

} // namespace

void InstallProgram(InstallHost& host)
{
    try {
        Install(host);
    } catch (const Error& error) {
        // Only failures before anything was written get here: the rest were undone and reported.
        HostLogFailure(host, error);
        throw;
    }
}
