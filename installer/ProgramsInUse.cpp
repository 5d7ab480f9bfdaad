#include "installer/ProgramsInUse.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "gui/AlertDialog.h"
#include "installer/InstallHost.h"
#include "script/InstallScript.h"

CloseChoice CloseApplications = CloseAsk;

namespace {

InstallHost& HostOf(ClosingHost& closing)
{
    return *static_cast<InstallHost*>(closing.owner);
}

bool Ask(ClosingHost& closing, const Str& names)
{
    const wchar_t* pieces[] = {
        Tr(L"Te programy są uruchomione i używają plików instalowanego programu:\n\n",
           L"These programs are running and use files of the installation:\n\n"),
        names.text(),
        Tr(L"\n\nInstalator może je teraz zamknąć (najpierw zapisz w nich swoją pracę) i uruchomić ponownie "
           L"po zakończeniu instalacji.",
           L"\n\nSetup can close them now (save your work in them first) and start them again once the "
           L"installation has finished."),
        nullptr};
    return HostAlertPieces(HostOf(closing), pieces, CloseQuestionButtons(), AlertWarning) == 0;
}

void Log(ClosingHost& closing, const Str& line)
{
    HostLog(HostOf(closing), line);
}

void Status(ClosingHost& closing, const Str& line)
{
    HostStatus(HostOf(closing), line, Str());
}

void Wait(ClosingHost& closing)
{
    HostWaiting(HostOf(closing));
}

ClosingHost ClosingHostOf(InstallHost& host)
{
    bool asks = !host.silent && host.form;
    return ClosingHost {asks ? Ask : nullptr, Log,           Status, Wait, &host,
                        CloseApplications,    PoliteCloseMs, isAdmin};
}

} // namespace

void CloseProgramsInUse(InstallHost& host, const StrArray& paths)
{
    ClosingHost closing = ClosingHostOf(host);
    if (!CloseRunningPrograms(closing, Script.installDir, paths, host.running))
        throw Abort();
}

void RestartProgramsClosed(InstallHost& host)
{
    ClosingHost closing = ClosingHostOf(host);
    RestartClosedPrograms(closing, host.running);
}

Str StillRunningLine(const InstallHost& host)
{
    Str names = StillRunningNames(host.running);
    if (names.isEmpty())
        return names;
    return Concat(Str(Tr(L"\n\nNadal uruchomione: ", L"\n\nStill running: ")), names);
}
