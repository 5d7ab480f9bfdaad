#include "uninstaller/Uninstall.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Path.h"
#include "core/ShowError.h"
#include "gui/AlertDialog.h"
#include "installer/ElevatedRelaunch.h"
#include "installer/Shortcut.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"
#include "uninstaller/Removal.h"
#include "uninstaller/SelfRemoval.h"
#include "uninstaller/UninstallDataFile.h"
#include "uninstaller/UninstallPlan.h"

#include <windows.h>

namespace {

enum : int { Removed = 0, NotAllRemoved = 1, Declined = 2 };

struct Session {
    UninstallPlan plan;
    bool quiet;
    Str title;
    RemovalLog log;
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

Str Lines(const StrArray& items)
{
    Str text;
    for (int64_t i = 0; i < items.length(); i++) {
        if (i)
            text.append(Str(L"\n"));
        text.append(items.ref(i));
    }
    return text;
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
                          Lines(asked), Str(Tr(L"\n\nCzy usunąć je również?", L"\n\nDo you want to remove them as well?")));
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

// The data file, this program (from a copy of itself when it lies in the directory), and the
// directory when nothing is left in it.
void RemoveTheRest(Session& session)
{
    Str dataFile = NormalizePath(session.plan.dataFile);
    int64_t folder = DirectoryOf(dataFile).length(); // the installation directory's, checked at the start
    RemoveFileInside(session.plan.installDir, Str(dataFile.text() + folder, dataFile.length() - folder),
                     session.log);
    if (LiesDirectlyIn(ModuleFileName(), session.plan.installDir) && ContinueFromCopy(session.plan.installDir))
        return;
    RemoveDirectoryW(session.plan.installDir.text());
}

Str Title(const UninstallPlan& plan)
{
    return plan.programName.isEmpty() ? Str(Tr(L"Deinstalacja", L"Uninstall"))
                                      : Concat(Str(Tr(L"Deinstalacja - ", L"Uninstall - ")), plan.programName);
}

} // namespace

int RunUninstall(const StrArray& arguments)
{
    Session session;
    session.quiet = arguments.length() >= 2 && StrEqualNoCase(arguments.ref(1), L"/S");
    session.title = Str(Tr(L"Deinstalacja", L"Uninstall"));
    if (arguments.length() < 1 || arguments.ref(0).isEmpty()) {
        Tell(session, Str(Tr(L"Uruchom deinstalację z listy zainstalowanych programów systemu Windows.",
                             L"Start the uninstallation from the Windows list of installed programs.")),
             1);
        return NotAllRemoved;
    }
    Str dataFile = arguments.at(0);
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
        Str parameters = Concat(Str(L"\""), dataFile, Str(session.quiet ? L"\" /S" : L"\""));
        CurrentAppContext()->exitCode = NotAllRemoved;
        RelaunchElevated(nullptr, parameters.text());
        return CurrentAppContext()->exitCode;
    }
    // With administrator rights, only a data file that no standard user could have written.
    if (!session.plan.perUser) {
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

    RemoveFiles(session);
    RemoveDirectories(session);
    RemoveLinks(session);
    RemoveRegistration(session);
    RemoveTheRest(session);

    if (session.log.failed.length() > 0) {
        Tell(session,
             Concat(Str(Tr(L"Tych plików nie udało się usunąć (mogą być używane przez inny program):\n",
                           L"These files could not be removed (they may be in use by another program):\n")),
                    Lines(session.log.failed)),
             1);
        return NotAllRemoved;
    }
    Tell(session,
         Concat(Str(Tr(L"Program ", L"")), session.plan.programName,
                Str(Tr(L" został usunięty z komputera.", L" has been removed from your computer."))),
         4);
    return Removed;
}
