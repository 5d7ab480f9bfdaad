#include "running/ClosingFlow.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "running/ClosePrograms.h"

namespace {

const wchar_t* const SwitchNames[] = {nullptr, L"/NOCLOSEAPPLICATIONS", L"/CLOSEAPPLICATIONS",
                                      L"/FORCECLOSEAPPLICATIONS"};

void Log(ClosingHost& host, const Str& line)
{
    if (host.log)
        host.log(host, line);
}

void KeepAnswering(void* context)
{
    ClosingHost& host = *static_cast<ClosingHost*>(context);
    if (host.whileWaiting)
        host.whileWaiting(host);
}

const wchar_t* WhyKept(KeepReason keep)
{
    if (keep == OtherUser)
        return Tr(L" \u2013 program innego użytkownika, nie można go zamknąć",
                  L" \u2013 another user's program, it cannot be closed");
    if (keep == PartOfWindows)
        return Tr(L" \u2013 część systemu Windows, nie można go zamknąć",
                  L" \u2013 part of Windows, it cannot be closed");
    return L"";
}

// The names of the programs still running, each once, with why one cannot be closed.
Str NamesOf(const RunningPrograms& running, const wchar_t* separator, bool withReasons)
{
    CharBuffer names; // appending to a Str would copy it for every name
    names.makeEmpty();
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        bool repeated = false;
        for (int64_t j = 0; j < i && !repeated; j++)
            repeated =
                Shown(running.programs.ref(j)) && StrEqualNoCase(running.programs.ref(j).name, program.name);
        if (!Shown(program) || repeated)
            continue;
        if (names.length())
            names.appendText(separator, TextLength(separator));
        names.appendText(program.name.text(), program.name.length());
        const wchar_t* why = withReasons ? WhyKept(program.keep) : L"";
        names.appendText(why, TextLength(why));
    }
    return Str(names.text(), names.length());
}

void LogRestart(void* context, const RunningProgram& program, bool started)
{
    Log(*static_cast<ClosingHost*>(context),
        Concat(started ? Tr(L"Uruchomiony ponownie: ", L"Started again: ")
                       : Tr(L"Nie udało się uruchomić ponownie: ", L"Could not start again: "),
               program.name.text()));
}

// Whether a program is shown (and, with closable, may be closed).
bool AnyShown(const RunningPrograms& running, bool closable)
{
    for (int64_t i = 0; i < running.programs.length(); i++)
        if (Shown(running.programs.ref(i)) && (!closable || running.programs.ref(i).keep == MayClose))
            return true;
    return false;
}

void LogOutcome(ClosingHost& host, const RunningPrograms& running)
{
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        if (program.keep == ThisProgram)
            continue;
        const wchar_t* outcome = IsRunning(program) ? Tr(L"Nadal uruchomiony: ", L"Still running: ")
                                 : program.closedBy == EndedByForce
                                     ? Tr(L"Zakończony siłą: ", L"Ended by force: ")
                                     : Tr(L"Zamknięty: ", L"Closed: ");
        Log(host, Concat(outcome, program.name.text(), WhyKept(program.keep)));
    }
}

} // namespace

bool ReadCloseSwitch(const Str& argument, CloseChoice& choice)
{
    for (int32_t i = CloseNever; i <= CloseByForce; i++)
        if (StrEqualNoCase(argument, SwitchNames[i])) {
            choice = static_cast<CloseChoice>(i);
            return true;
        }
    return false;
}

const wchar_t* CloseQuestionButtons()
{
    return Tr(L"+&Zamknij je i kontynuuj|-&Anuluj", L"+&Close them and continue|-Cancel");
}

const wchar_t* CloseSwitchOf(CloseChoice choice)
{
    return SwitchNames[choice];
}

bool CloseRunningPrograms(ClosingHost& host, const Str& dir, const StrArray& files, RunningPrograms& running)
{
    FindRunningPrograms(dir, files, host.administrator, running);
    if (!AnyShown(running, false))
        return true;
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        if (Shown(program)) {
            Str id = IntToStr(program.processId);
            const wchar_t* pieces[] = {Tr(L"Uruchomiony program: ", L"Running program: "),
                                       program.name.text(), Tr(L" (proces ", L" (process "), id.text(), L", ",
                                       program.imagePath.text(), L")", WhyKept(program.keep), nullptr};
            Log(host, ConcatList(pieces));
        }
    }
    bool silent = !host.ask;
    if (host.choice == CloseNever || (silent && host.choice == CloseAsk)) {
        Log(host, Str(Tr(L"Programy pozostają uruchomione (/NOCLOSEAPPLICATIONS)",
                         L"Leaving the programs running (/NOCLOSEAPPLICATIONS)")));
        return true;
    }
    if (!AnyShown(running, true)) {
        Log(host, Str(Tr(L"Żadnego z nich nie można zamknąć", L"None of them can be closed")));
        return true;
    }
    if (!silent) {
        if (!host.ask(host, NamesOf(running, L"\n", true))) {
            Log(host, Str(Tr(L"Anulowano: programy pozostają uruchomione",
                             L"Cancelled: the programs keep running")));
            return false;
        }
        Log(host, Str(Tr(L"Zamykanie programów na życzenie użytkownika",
                         L"Closing the programs, as the user chose")));
    }
    if (host.choice != CloseAsk)
        Log(host,
            Concat(Tr(L"Zamykanie programów (", L"Closing the programs ("), SwitchNames[host.choice], L")"));
    if (host.status)
        host.status(host, Str(Tr(L"Zamykanie programów...", L"Closing programs...")));
    Waiting waiting = {KeepAnswering, &host};
    AskProgramsToClose(running, host.closeWaitMs, waiting);
    if (host.choice == CloseByForce)
        EndProgramsByForce(running, ForcedEndMs, waiting);
    LogOutcome(host, running);
    return true;
}

void RestartClosedPrograms(ClosingHost& host, RunningPrograms& running)
{
    StartClosedProgramsAgain(running, RestartReport {LogRestart, &host});
}

Str StillRunningNames(const RunningPrograms& running)
{
    return NamesOf(running, L", ", false);
}
