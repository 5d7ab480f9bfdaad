#include "uninstaller/Uninstall.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Path.h"
#include "core/ShowError.h"
#include "gui/AlertDialog.h"
#include "installer/ElevatedRelaunch.h"
#include "core/CommandLine.h"
#include "installer/Shortcut.h"
#include "installer/UninstallData.h"
#include "installer/UninstallRegistration.h"
#include "running/ClosingFlow.h"
#include "script/InstallScript.h"
#include "uninstaller/Removal.h"
#include "uninstaller/SelfRemoval.h"
#include "uninstaller/UninstallDataFile.h"
#include "uninstaller/UninstallPlan.h"

#include <windows.h>

namespace {

enum : int { Removed = 0, NotAllRemoved = 1, Declined = 2 };

const wchar_t QuietSwitch[] = L"/S";

struct Session {
    UninstallPlan plan;
    bool quiet;
    CloseChoice closeChoice = CloseAsk;
    Str title;
    RemovalLog log;
    RunningPrograms running;
};

void Tell(const Session& session, const Str& text, uint32_t kind)
{
    if (!session.quiet)
        ShowAlert(nullptr, text.text(), session.title.text(), L"+OK", kind);
}

bool Ask(const Session& session, const Str& text)
{
    return ShowAlert(nullptr, text.text(), session.title.text(), Tr(L"+Tak|-Nie", L"+Yes|-No"), 3) == 0;
}

Str Joined(const StrArray& items, const wchar_t* separator)
{
    // A growing buffer: appending to a Str would copy the whole text for every item.
    CharBuffer text;
    text.makeEmpty();
    int64_t separatorLength = static_cast<int64_t>(wcslen(separator));
    for (int64_t i = 0; i < items.length(); i++) {
        if (i)
            text.appendText(separator, separatorLength);
        text.appendText(items.ref(i).text(), items.ref(i).length());
    }
    return Str(text.text(), text.length());
}

void RemoveFiles(Session& session)
{
    const UninstallPlan& plan = session.plan;
    for (int64_t i = 0; i < plan.autoFiles.length(); i++)
        RemoveFileInside(plan.installDir, plan.autoFiles.ref(i), session.log);
    for (int64_t i = 0; i < plan.deleteFiles.length(); i++) {
        StrArray names = ExpandItem(plan.installDir, plan.deleteFiles.ref(i), false);
        for (int64_t n = 0; n < names.length(); n++)
            RemoveFileInside(plan.installDir, names.ref(n), session.log);
    }
    StrArray asked;
    asked.makeEmpty();
    for (int64_t i = 0; i < plan.askDeleteFiles.length(); i++) {
        StrArray names = ExpandItem(plan.installDir, plan.askDeleteFiles.ref(i), false);
        asked.append(names.items(), names.length());
    }
    if (asked.length() == 0 || session.quiet)
        return;
    Str question = Concat(Str(Tr(L"Te pliki mogą zawierać Twoje dane lub zmiany:\n",
                                 L"These files may hold your own data or changes:\n")),
                          Joined(asked, L"\n"),
                          Str(Tr(L"\n\nCzy usunąć je również?", L"\n\nDo you want to remove them as well?")));
    if (!Ask(session, question))
        return;
    for (int64_t i = 0; i < asked.length(); i++)
        RemoveFileInside(plan.installDir, asked.ref(i), session.log);
}

void RemoveDirectories(Session& session)
{
    const UninstallPlan& plan = session.plan;
    // The named trees first, so that the installed directories they emptied go as well.
    for (int64_t i = 0; i < plan.deleteDirectories.length(); i++) {
        StrArray names = ExpandItem(plan.installDir, plan.deleteDirectories.ref(i), true);
        for (int64_t n = 0; n < names.length(); n++)
            RemoveTreeInside(plan.installDir, names.ref(n), session.log);
    }
    for (int64_t i = 0; i < plan.autoDirectories.length(); i++)
        RemoveEmptyDirectoryInside(plan.installDir, plan.autoDirectories.ref(i));
}

void RemoveLinks(Session& session)
{
    if (session.plan.programName.isEmpty())
        return;
    const int folders[] = {StartMenuFolder(session.plan.perUser), DesktopFolder(session.plan.perUser)};
    for (int csidl : folders) {
        try {
            RemoveFile(ShortcutPath(nullptr, csidl, session.plan.programName), session.log);
        } catch (const Error&) {
            // a shell folder that does not exist holds no link
        }
    }
}

void RemoveRegistration(Session& session)
{
    if (session.plan.programName.isEmpty())
        return;
    HKEY root = session.plan.perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    LONG result = UnregisterUninstaller(root, UninstallKeyPath(session.plan.programName));
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        session.log.failed.append(Concat(Str(session.plan.perUser ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\"),
                                         UninstallKeyPath(session.plan.programName)));
}

// The items of a list that still stand for something, in the list's order or reversed.
StrArray StillThere(const Str& dir, const StrArray& items, bool directories, bool reversed)
{
    StrArray left;
    left.makeEmpty();
    for (int64_t n = 0; n < items.length(); n++) {
        const Str& item = items.ref(reversed ? items.length() - 1 - n : n);
        if (ExpandItem(dir, item, directories).length() > 0)
            left.append(item);
    }
    return left;
}

// Something stayed: the data file is rewritten to list only what is left, and the registration
// stays with it, so that the removal can be run again from the list of installed programs once
// the files are free.
void KeepWhatIsLeft(Session& session)
{
    const UninstallPlan& plan = session.plan;
    UninstallData left;
    left.installDir = plan.installDir;
    // The data file lists installed files and directories last first; the record holds them in
    // installation order.
    left.files = StillThere(plan.installDir, plan.autoFiles, false, true);
    left.directories = StillThere(plan.installDir, plan.autoDirectories, true, true);
    left.deleteFiles = Joined(StillThere(plan.installDir, plan.deleteFiles, false, false), L"|");
    left.askDeleteFiles = Joined(StillThere(plan.installDir, plan.askDeleteFiles, false, false), L"|");
    left.deleteDirectories = Joined(StillThere(plan.installDir, plan.deleteDirectories, true, false), L"|");
    left.exeFile = plan.exeFile;
    left.programName = plan.programName;
    left.perUserInstall = plan.perUser;
    left.createdDirectories.makeEmpty();
    for (int64_t i = plan.createdDirectories.length() - 1; i >= 0; i--)
        left.createdDirectories.append(plan.createdDirectories.ref(i));
    try {
        SetFileAttributesW(plan.dataFile.text(), FILE_ATTRIBUTE_NORMAL);
        WriteUninstallData(plan.dataFile, BuildUninstallData(left));
    } catch (const Error&) {
        session.log.failed.append(plan.dataFile);
    }
}

// Folders made above the installation directory for it go when nothing else is left in them.
void RemoveCreatedDirectories(const Session& session)
{
    for (int64_t i = 0; i < session.plan.createdDirectories.length(); i++)
        RemoveDirectoryW(session.plan.createdDirectories.ref(i).text());
}

// The data file, this program (from a copy of itself when it lies in the directory), and the
// directory when nothing is left in it.
void RemoveTheRest(Session& session)
{
    Str dataFile = NormalizePath(session.plan.dataFile);
    int64_t folder = DirectoryOf(dataFile).length(); // the installation directory's, checked at the start
    RemoveFileInside(session.plan.installDir, Str(dataFile.text() + folder, dataFile.length() - folder),
                     session.log);
    if (LiesDirectlyIn(ModuleFileName(), session.plan.installDir) &&
        ContinueFromCopy(session.plan.installDir, session.plan.createdDirectories))
        return;
    RemoveDirectoryW(session.plan.installDir.text());
    RemoveCreatedDirectories(session);
}

bool AskAboutRunning(ClosingHost& host, const Str& names)
{
    Str text = Concat(Str(Tr(L"Te programy są uruchomione i używają plików usuwanego programu:\n\n",
                             L"These programs are running and use files of the program being removed:\n\n")),
                      names,
                      Str(Tr(L"\n\nDeinstalator może je teraz zamknąć (najpierw zapisz w nich swoją pracę).",
                             L"\n\nThe uninstaller can close them now (save your work in them first).")));
    const Session& session = *static_cast<Session*>(host.owner);
    return ShowAlert(nullptr, text.text(), session.title.text(), CloseQuestionButtons(), AlertWarning) == 0;
}

// Programs that run from the installation directory or hold its files are closed first, as the
// user or the switches say; false when the user cancelled.
bool CloseRunningOnes(Session& session)
{
    StrArray files;
    files.makeEmpty();
    for (int64_t i = 0; i < session.plan.autoFiles.length(); i++)
        files.append(Concat(AddTrailingSlash(session.plan.installDir), session.plan.autoFiles.ref(i)));
    ClosingHost host = {session.quiet ? nullptr : AskAboutRunning, nullptr, nullptr, nullptr, &session,
                        session.closeChoice, PoliteCloseMs, isAdmin};
    return CloseRunningPrograms(host, session.plan.installDir, files, session.running);
}

Str Title(const UninstallPlan& plan)
{
    return plan.programName.isEmpty() ? Str(Tr(L"Deinstalacja", L"Uninstall"))
                                      : Concat(Str(Tr(L"Deinstalacja - ", L"Uninstall - ")), plan.programName);
}

} // namespace

void TellNotRemoved(const Session& session, bool runAgain)
{
    Str text = Concat(Str(Tr(L"Tych plików nie udało się usunąć (mogą być używane przez inny program):\n",
                             L"These files could not be removed (they may be in use by another program):\n")),
                      Joined(session.log.failed, L"\n"));
    if (runAgain)
        text.append(
            Str(Tr(L"\n\nGdy będą wolne, uruchom deinstalację ponownie z listy zainstalowanych programów.",
                   L"\n\nOnce they are free, run the removal again from the list of installed programs.")));
    Tell(session, text, 1);
}

bool AskedForQuiet(const StrArray& arguments)
{
    for (int64_t i = 0; i < arguments.length(); i++)
        if (StrEqualNoCase(arguments.ref(i), QuietSwitch))
            return true;
    return false;
}

int RunUninstall(const StrArray& arguments)
{
    Session session;
    session.quiet = AskedForQuiet(arguments);
    session.title = Str(Tr(L"Deinstalacja", L"Uninstall"));
    // The data file is the first argument that is no switch.
    Str dataFile;
    for (int64_t i = 0; i < arguments.length(); i++) {
        const Str& argument = arguments.ref(i);
        bool isSwitch = StrEqualNoCase(argument, QuietSwitch) || ReadCloseSwitch(argument, session.closeChoice);
        if (!isSwitch && dataFile.isEmpty())
            dataFile = argument;
    }
    if (dataFile.isEmpty()) {
        Tell(session, Str(Tr(L"Uruchom deinstalację z listy zainstalowanych programów systemu Windows.",
                             L"Start the uninstallation from the Windows list of installed programs.")),
             1);
        return NotAllRemoved;
    }
    DataFile data;
    try {
        data = ReadDataFile(dataFile);
        session.plan = data.plan;
    } catch (const Error& error) {
        if (!session.quiet)
            ShowError(nullptr, session.title.text(), error);
        return NotAllRemoved;
    }
    session.title = Title(session.plan);
    Str unsafe = UnsafeItem(session.plan);
    if (!unsafe.isEmpty()) {
        const wchar_t* pieces[] = {Tr(L"Plik danych deinstalacji \"", L"The uninstall data file \""), dataFile.text(),
                                   Tr(L"\" wskazuje poza katalog programu:\n", L"\" points outside the program's directory:\n"),
                                   unsafe.text(),
                                   Tr(L"\n\nNic nie zostało usunięte.", L"\n\nNothing has been removed."), nullptr};
        Tell(session, ConcatList(pieces), 2);
        return NotAllRemoved;
    }

    // An installation for all users is removed with administrator rights.
    if (!session.plan.perUser && !isAdmin) {
        Str parameters = QuoteArgument(dataFile);
        if (session.quiet)
            parameters.append(Concat(Str(L" "), Str(QuietSwitch)));
        if (session.closeChoice != CloseAsk)
            parameters.append(Concat(Str(L" "), Str(CloseSwitchOf(session.closeChoice))));
        CurrentAppContext()->exitCode = NotAllRemoved;
        if (session.quiet)
            StartElevatedCopy(nullptr, parameters.text(), true);
        else
            RelaunchElevated(nullptr, parameters.text());
        return CurrentAppContext()->exitCode;
    }
    // With administrator rights, only a data file that the list of installed programs names, for
    // this user or for the machine, and that (for the machine) no standard user could have written.
    if (isAdmin) {
        Str distrusted = DistrustedDataFile(dataFile, data);
        if (!distrusted.isEmpty()) {
            Tell(session,
                 Concat(distrusted,
                        Str(Tr(L"\n\nNic nie zostało usunięte.", L"\n\nNothing has been removed."))),
                 2);
            return NotAllRemoved;
        }
    }

    if (!session.quiet &&
        !Ask(session, Concat(Str(Tr(L"Czy chcesz usunąć program ", L"Do you want to remove ")), session.plan.programName,
                             Str(Tr(L" i wszystkie jego składniki?", L" and all of its components?")))))
        return Declined;
    if (!CloseRunningOnes(session))
        return Declined;

    RemoveFiles(session);
    RemoveDirectories(session);
    RemoveLinks(session);
    if (session.log.failed.length() == 0)
        RemoveRegistration(session);
    if (session.log.failed.length() > 0) {
        KeepWhatIsLeft(session);
        TellNotRemoved(session, true);
        return NotAllRemoved;
    }
    RemoveTheRest(session);
    if (session.log.failed.length() > 0) {
        TellNotRemoved(session, false); // only the data file stayed: nothing for another run
        return NotAllRemoved;
    }
    Tell(session,
         Concat(Str(Tr(L"Program ", L"")), session.plan.programName,
                Str(Tr(L" został usunięty z komputera.", L" has been removed from your computer."))),
         4);
    return Removed;
}
