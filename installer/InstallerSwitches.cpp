#include "installer/InstallerSwitches.h"

#include "core/AppContext.h"
#include "core/Array.h"
#include "core/CharCase.h"
#include "core/CommandLine.h"
#include "core/Error.h"
#include "core/Path.h"

#include <windows.h>

#include <wchar.h>

InstallerSwitches RunSwitches;

static const wchar_t DirectorySwitch[] = L"/D=";
static const wchar_t LogSwitch[] = L"/LOG=";
static const wchar_t LogHandleSwitch[] = L"/LOGHANDLE=";

static bool StartsWithNoCase(const Str& text, const wchar_t* prefix)
{
    int64_t length = TextLength(prefix);
    return text.length() >= length && StrEqualNoCase(text.text(), length, prefix, length);
}

static bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Where the /D= argument starts, or -1. A candidate counts only when the standard splitting of
// the line before it ends between two arguments (not inside quotes): the line up to the
// candidate followed by "/D=" then splits into one more argument, and that is "/D=" itself.
static int64_t FindDirectorySwitch(const Str& line)
{
    const wchar_t* p = line.text();
    for (int64_t i = 1; i + 3 <= line.length(); i++) {
        if (!IsBlank(p[i - 1]) || !StrEqualNoCase(p + i, 3, DirectorySwitch, 3))
            continue;
        Str before(p, i);
        StrArray plain = SplitCommandLine(before.text());
        StrArray marked = SplitCommandLine(Concat(before, Str(DirectorySwitch)).text());
        if (marked.length() == plain.length() + 1 && marked.ref(marked.length() - 1) == DirectorySwitch)
            return i;
    }
    return -1;
}

// A space before a slash cannot belong to a folder name (no name ends in a space): the value
// holds further switches, so /D= was not last.
static bool HoldsFurtherSwitches(const Str& value)
{
    for (int64_t i = 0; i + 1 < value.length(); i++)
        if (IsBlank(value.text()[i]) && value.text()[i + 1] == L'/')
            return true;
    return false;
}

static bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The installation directory of /D=: a full path of a folder (not a drive's root), without
// characters that no path may hold. Trailing separators and blanks are dropped; empty when the
// value is refused.
static Str InstallDirectoryOf(const Str& value)
{
    int64_t length = value.length();
    const wchar_t* p = value.text();
    while (length > 0 && IsBlank(p[length - 1]))
        length--;
    for (int64_t i = 0; i < length; i++)
        if (p[i] < 32 || p[i] == L'"' || p[i] == L'<' || p[i] == L'>' || p[i] == L'|' || p[i] == L'*' ||
            p[i] == L'?')
            return Str();
    Str path = NormalizePath(Str(p, length));
    p = path.text();
    length = path.length();
    while (length > 0 && p[length - 1] == L'\\')
        length--;
    bool drive = length > 3 && IsDriveLetter(p[0]) && p[1] == L':' && p[2] == L'\\';
    bool unc = length > 2 && p[0] == L'\\' && p[1] == L'\\' && p[2] != L'\\';
    if (!drive && !unc)
        return Str();
    return Str(p, length);
}

// A log file named relative to the current folder means that folder, also for an elevated copy
// (which starts in another one).
static Str FullPath(const Str& path)
{
    DWORD needed = GetFullPathNameW(path.text(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    CharBuffer buffer;
    buffer.reserveZeros(needed);
    DWORD length = GetFullPathNameW(path.text(), needed, buffer.text(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    return Str(buffer.text(), length);
}

static void Refuse(InstallerSwitches& switches, SwitchProblem problem, const Str& item)
{
    if (switches.problem == SwitchesFine) {
        switches.problem = problem;
        switches.problemItem = item;
    }
}

static void TakeSwitch(InstallerSwitches& switches, const Str& argument)
{
    CloseChoice closeChoice;
    if (ReadCloseSwitch(argument, closeChoice)) {
        if (switches.closeApplications != CloseAsk && switches.closeApplications != closeChoice)
            Refuse(switches, TwoCloseChoices, argument);
        switches.closeApplications = closeChoice;
    } else if (StrEqualNoCase(argument, L"/S")) {
        switches.silent = true;
    } else if (StrEqualNoCase(argument, L"/?") || StrEqualNoCase(argument, L"/HELP")) {
        switches.help = true;
    } else if (StrEqualNoCase(argument, L"/NOSHORTCUTS")) {
        switches.noShortcuts = true;
    } else if (StrEqualNoCase(argument, L"/ALLUSERS") || StrEqualNoCase(argument, L"/CURRENTUSER")) {
        InstallKind kind = StrEqualNoCase(argument, L"/ALLUSERS") ? KindAllUsers : KindCurrentUser;
        if (switches.kind != KindAsDecided && switches.kind != kind)
            Refuse(switches, TwoKinds, argument);
        switches.kind = kind;
    } else if (StartsWithNoCase(argument, DirectorySwitch)) {
        // The whole switch in quotes, as shells pass an argument with spaces: one argument.
        switches.directory = InstallDirectoryOf(Str(argument.text() + 3, argument.length() - 3));
        if (switches.directory.isEmpty())
            Refuse(switches, BadDirectory, argument);
    } else if (StartsWithNoCase(argument, LogHandleSwitch)) {
        const wchar_t* digits = argument.text() + TextLength(LogHandleSwitch);
        wchar_t* end = nullptr;
        switches.logHandle = wcstoull(digits, &end, 10);
        if (!*digits || *end || switches.logHandle == 0)
            Refuse(switches, UnknownSwitch, argument);
    } else if (StartsWithNoCase(argument, LogSwitch)) {
        Str file(argument.text() + 5, argument.length() - 5);
        if (file.isEmpty())
            Refuse(switches, EmptyLogFile, argument);
        else
            switches.logFile = FullPath(file);
    } else {
        Refuse(switches, UnknownSwitch, argument);
    }
}

static bool IsUpdateWord(const Str& argument)
{
    return StrEqualNoCase(argument, L"--UPDATE") || StrEqualNoCase(argument, L"::UPDATE");
}

InstallerSwitches ParseInstallerSwitches(const wchar_t* commandLine)
{
    InstallerSwitches switches;
    Str line(commandLine);
    int64_t directoryAt = FindDirectorySwitch(line);
    StrArray arguments =
        SplitCommandLine(directoryAt < 0 ? line.text() : Str(line.text(), directoryAt).text());

    int64_t first = 0;
    if (arguments.length() >= 1 && IsUpdateWord(arguments.ref(0))) {
        if (arguments.length() >= 2) {
            switches.updateRequest = true;
            switches.updateDirectory = arguments.at(1);
            first = 2;
        } else if (directoryAt < 0) {
            Refuse(switches, UpdateWithoutDirectory, arguments.at(0));
            first = 1;
        } else {
            first = 1; // the directory of /D= is refused below
        }
    }
    for (int64_t i = first; i < arguments.length(); i++)
        TakeSwitch(switches, arguments.ref(i));

    if (directoryAt >= 0) {
        switches.directory.release();
        Str value(line.text() + directoryAt + 3, line.length() - directoryAt - 3);
        if (HoldsFurtherSwitches(value)) {
            // A silent run stays silent even when its command line is refused.
            StrArray rest = SplitCommandLine(Concat(Str(L"setup "), value).text());
            for (int64_t i = 0; i < rest.length(); i++)
                if (StrEqualNoCase(rest.ref(i), L"/S"))
                    switches.silent = true;
            Refuse(switches, DirectoryNotLast, Concat(Str(DirectorySwitch), value));
        } else {
            switches.directory = InstallDirectoryOf(value);
        }
        if (switches.directory.isEmpty())
            Refuse(switches, BadDirectory, Concat(Str(DirectorySwitch), value));
    }
    if (!switches.directory.isEmpty() && (switches.updateRequest || first == 1))
        Refuse(switches, DirectoryWithUpdate, Concat(Str(DirectorySwitch), switches.directory));
    return switches;
}

Str SwitchProblemText(const InstallerSwitches& switches)
{
    const Str& item = switches.problemItem;
    switch (switches.problem) {
    case SwitchesFine:
        return Str();
    case UnknownSwitch:
        return Concat(Str(Tr(L"Nieznany przełącznik: ", L"Unknown switch: ")), item);
    case TwoKinds:
        return Str(Tr(L"Przełączniki /ALLUSERS i /CURRENTUSER wykluczają się.",
                      L"The switches /ALLUSERS and /CURRENTUSER exclude each other."));
    case TwoCloseChoices:
        return Str(Tr(L"Przełączniki /NOCLOSEAPPLICATIONS, /CLOSEAPPLICATIONS i /FORCECLOSEAPPLICATIONS "
                      L"wykluczają się.",
                      L"The switches /NOCLOSEAPPLICATIONS, /CLOSEAPPLICATIONS and /FORCECLOSEAPPLICATIONS "
                      L"exclude each other."));
    case EmptyLogFile:
        return Str(Tr(L"Po /LOG= brakuje nazwy pliku.", L"/LOG= needs a file name."));
    case BadDirectory:
        return Concat(Str(Tr(L"Przełącznik /D= wymaga pełnej ścieżki katalogu, bez cudzysłowów: ",
                             L"/D= needs the full path of a folder, without quotes: ")),
                      item);
    case DirectoryNotLast:
        return Concat(Str(Tr(L"Przełącznik /D= musi być ostatni: ", L"/D= must be the last switch: ")), item);
    case DirectoryWithUpdate:
        return Concat(Str(Tr(L"W trybie aktualizacji katalog podaje --UPDATE, nie /D=: ",
                             L"In update mode --UPDATE names the folder, not /D=: ")),
                      item);
    case UpdateWithoutDirectory:
        return Concat(Str(Tr(L"Po --UPDATE brakuje katalogu: ", L"--UPDATE needs a folder: ")), item);
    case LogFileIsLink:
        return Concat(Str(Tr(L"Plik dziennika z /LOG= jest dowiązaniem albo leży za dowiązaniem, lub ma kilka "
                             L"nazw; nic nie zostało zainstalowane: ",
                             L"The /LOG= file is a link or lies behind one, or has several names; nothing has "
                             L"been installed: ")),
                      item);
    }
    return Str();
}

Str SwitchesHelpText(const Str& programFile)
{
    const wchar_t* pieces[] = {
        Tr(L"Użycie: ", L"Usage: "), programFile.text(),
        Tr(L" [/S] [/ALLUSERS | /CURRENTUSER] [/NOSHORTCUTS] [/CLOSEAPPLICATIONS | /FORCECLOSEAPPLICATIONS | "
           L"/NOCLOSEAPPLICATIONS] [/LOG=plik] [/D=katalog]\n\n"
           L"/S \u2013 instalacja cicha: bez okna i bez pytań; wynik podaje kod wyjścia.\n"
           L"/D=katalog \u2013 katalog instalacji; ostatni, bez cudzysłowów, także ze spacjami.\n"
           L"/ALLUSERS \u2013 instalacja dla wszystkich użytkowników (w razie potrzeby z prośbą o "
           L"uprawnienia administratora).\n"
           L"/CURRENTUSER \u2013 instalacja tylko dla bieżącego użytkownika, bez uprawnień administratora.\n"
           L"/NOSHORTCUTS \u2013 bez skrótów w Menu Start i na pulpicie.\n"
           L"/CLOSEAPPLICATIONS \u2013 uruchomione programy, które używają plików instalacji, zostają zamknięte "
           L"i po instalacji uruchomione ponownie.\n"
           L"/FORCECLOSEAPPLICATIONS \u2013 tak samo, a programy, które się nie zamkną, zostają zakończone.\n"
           L"/NOCLOSEAPPLICATIONS \u2013 programy nie są zamykane (domyślnie w instalacji cichej).\n"
           L"/LOG=plik \u2013 każdy krok instalacji dopisany do pliku dziennika (UTF-8).\n"
           L"/? lub /HELP \u2013 ta pomoc.\n\n"
           L"Kody wyjścia instalacji cichej: 0 zainstalowano, 1602 odmowa uprawnień administratora, 1603 "
           L"nieudana instalacja (nic nie zostało), 1618 trwa inna instalacja tego programu, 87 błędne "
           L"przełączniki, 3 instalator nie mógł się uruchomić.",
           L" [/S] [/ALLUSERS | /CURRENTUSER] [/NOSHORTCUTS] [/CLOSEAPPLICATIONS | /FORCECLOSEAPPLICATIONS | "
           L"/NOCLOSEAPPLICATIONS] [/LOG=file] [/D=folder]\n\n"
           L"/S \u2013 silent: no window, no question; the exit code tells the outcome.\n"
           L"/D=folder \u2013 the installation folder; last, without quotes, even with spaces.\n"
           L"/ALLUSERS \u2013 install for all users (asking for administrator rights when needed).\n"
           L"/CURRENTUSER \u2013 install for the current user only, without administrator rights.\n"
           L"/NOSHORTCUTS \u2013 no shortcuts in the Start Menu or on the Desktop.\n"
           L"/CLOSEAPPLICATIONS \u2013 close the running programs that use files of the installation, and start "
           L"them again afterwards.\n"
           L"/FORCECLOSEAPPLICATIONS \u2013 the same, and end those that do not close.\n"
           L"/NOCLOSEAPPLICATIONS \u2013 leave them running (the default of a silent installation).\n"
           L"/LOG=file \u2013 append every step of the installation to a log file (UTF-8).\n"
           L"/? or /HELP \u2013 this help.\n\n"
           L"Exit codes of a silent installation: 0 installed, 1602 administrator rights refused, 1603 "
           L"installation failed (nothing is left), 1618 another installation of this program is running, "
           L"87 bad switches, 3 the installer could not start."),
        nullptr};
    return ConcatList(pieces);
}

static void AppendArgument(Str& parameters, const Str& argument)
{
    if (!parameters.isEmpty())
        parameters.append(Str(L" "));
    parameters.append(QuoteArgument(argument));
}

Str RelaunchParameters(const InstallerSwitches& switches, InstallKind kind)
{
    Str parameters;
    if (switches.updateRequest) {
        AppendArgument(parameters, Str(L"--UPDATE"));
        AppendArgument(parameters, switches.updateDirectory);
    }
    if (switches.silent)
        AppendArgument(parameters, Str(L"/S"));
    if (kind == KindAllUsers)
        AppendArgument(parameters, Str(L"/ALLUSERS"));
    else if (kind == KindCurrentUser)
        AppendArgument(parameters, Str(L"/CURRENTUSER"));
    if (switches.noShortcuts)
        AppendArgument(parameters, Str(L"/NOSHORTCUTS"));
    if (switches.closeApplications != CloseAsk)
        AppendArgument(parameters, Str(CloseSwitchOf(switches.closeApplications)));
    if (switches.logHandle)
        AppendArgument(parameters, Concat(Str(LogHandleSwitch), DigitsOf(switches.logHandle, 10, 1)));
    else if (!switches.logFile.isEmpty())
        AppendArgument(parameters, Concat(Str(LogSwitch), switches.logFile));
    if (!switches.directory.isEmpty()) {
        // Unquoted to the end of the line, as every installer's /D= is read.
        if (!parameters.isEmpty())
            parameters.append(Str(L" "));
        parameters.append(Concat(Str(DirectorySwitch), switches.directory));
    }
    return parameters;
}

Str AllUsersParameters()
{
    return RelaunchParameters(RunSwitches,
                              RunSwitches.kind == KindCurrentUser ? KindAllUsers : RunSwitches.kind);
}
