#include "doctest.h"

#include "core/AppContext.h"
#include "core/CommandLine.h"
#include "installer/InstallLog.h"
#include "installer/InstallMutex.h"
#include "installer/InstallerSwitches.h"
#include "support/TestFiles.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

InstallerSwitches Parse(const std::wstring& tail)
{
    return ParseInstallerSwitches((L"\"C:\\Down loads\\setup.exe\" " + tail).c_str());
}

std::wstring Text(const Str& text)
{
    return std::wstring(text.text(), static_cast<size_t>(text.length()));
}

// What CommandLineToArgvW makes of a program name followed by the text.
std::vector<std::wstring> Split(const std::wstring& tail)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW((L"setup.exe " + tail).c_str(), &count);
    std::vector<std::wstring> split(arguments + 1, arguments + count);
    LocalFree(arguments);
    return split;
}

} // namespace

TEST_SUITE("switches") {

TEST_CASE("switches ignore case and order; /D= takes the rest of the line, spaces and all")
{
    InstallerSwitches switches = Parse(L"/noshortcuts /s /AllUsers /D=C:\\Program Files\\Żółw Łódź  ");
    CHECK(switches.problem == SwitchesFine);
    CHECK(switches.silent);
    CHECK(switches.noShortcuts);
    CHECK(switches.kind == KindAllUsers);
    CHECK(Text(switches.directory) == L"C:\\Program Files\\Żółw Łódź");
    CHECK_FALSE(switches.help);
    CHECK_FALSE(switches.updateRequest);

    CHECK(Text(Parse(L"/d=D:\\Apps\\X\\").directory) == L"D:\\Apps\\X");   // a trailing backslash goes
    CHECK(Text(Parse(L"/D=\\\\server\\share\\App").directory) == L"\\\\server\\share\\App");
    CHECK(Text(Parse(L"/D=C:/Apps/X").directory) == L"C:\\Apps\\X");
    // A shell passes an argument with spaces in quotes: the whole /D= switch in them counts too.
    InstallerSwitches whole = Parse(L"\"/D=C:\\Deploy Test\\Hello\" /S");
    CHECK(whole.problem == SwitchesFine);
    CHECK(Text(whole.directory) == L"C:\\Deploy Test\\Hello");
    CHECK(whole.silent);
    CHECK(Text(Parse(L"\"/D=C:\\X\" /D=C:\\Y Z").directory) == L"C:\\Y Z");
    CHECK(Parse(L"\"/D=C:\\X\" --UPDATE").problem == UnknownSwitch);
    CHECK(Parse(L"--UPDATE C:\\X \"/D=C:\\Y\"").problem == DirectoryWithUpdate);
    CHECK(Parse(L"/CURRENTUSER").kind == KindCurrentUser);
    CHECK(Parse(L"/?").help);
    CHECK(Parse(L"/Help").help);
    CHECK(Parse(L"").problem == SwitchesFine);

    // /D= inside quotes, in the program's own path or glued to another word is no /D=.
    InstallerSwitches quoted = Parse(L"\"/X /D=C:\\Y\" /S");
    CHECK(quoted.problem == UnknownSwitch);
    CHECK(Text(quoted.problemItem) == L"/X /D=C:\\Y");
    CHECK(quoted.directory.isEmpty());
    CHECK(quoted.silent);
    InstallerSwitches program = ParseInstallerSwitches(L"\"C:\\odd /D=name\\setup.exe\" /S");
    CHECK(program.problem == SwitchesFine);
    CHECK(program.directory.isEmpty());
    CHECK(Parse(L"x/D=C:\\X").problem == UnknownSwitch);
}

TEST_CASE("the log file is a full path, also when it was given relative")
{
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = std::wstring(current) + (current[wcslen(current) - 1] == L'\\' ? L"" : L"\\") +
                            L"setup log.txt";
    CHECK(Text(Parse(L"\"/LOG=setup log.txt\"").logFile) == expected);
    CHECK(Text(Parse(L"/log=C:\\a.txt").logFile) == L"C:\\a.txt");
}

TEST_CASE("refused command lines name what is wrong; /S is still noted")
{
    struct Case {
        const wchar_t* tail;
        SwitchProblem problem;
        const wchar_t* item;
    } cases[] = {
        {L"/S /X", UnknownSwitch, L"/X"},
        {L"/S --UPDATE", UnknownSwitch, L"--UPDATE"},
        {L"/S setup", UnknownSwitch, L"setup"},
        {L"/S -S", UnknownSwitch, L"-S"},
        {L"/S /ALLUSERS /CURRENTUSER", TwoKinds, L"/CURRENTUSER"},
        {L"/S /closeapplications /NOCLOSEAPPLICATIONS", TwoCloseChoices, L"/NOCLOSEAPPLICATIONS"},
        {L"/S /LOG=", EmptyLogFile, L"/LOG="},
        {L"/S /D=", BadDirectory, L"/D="},
        {L"/S /D=Apps\\X", BadDirectory, L"/D=Apps\\X"},
        {L"/S /D=C:\\", BadDirectory, L"/D=C:\\"},
        {L"/S /D=C:", BadDirectory, L"/D=C:"},
        {L"/S /D=\"C:\\My Apps\\X\"", BadDirectory, L"/D=\"C:\\My Apps\\X\""},
        {L"/S /D=C:\\A|B", BadDirectory, L"/D=C:\\A|B"},
        {L"/D=C:\\Apps\\X /S", DirectoryNotLast, L"/D=C:\\Apps\\X /S"},
        {L"/S --UPDATE C:\\X", UnknownSwitch, L"--UPDATE"},
        {L"--UPDATE C:\\X /S /D=C:\\Y", DirectoryWithUpdate, L"/D=C:\\Y"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::wstring(c.tail));
        InstallerSwitches switches = Parse(c.tail);
        CHECK(switches.problem == c.problem);
        CHECK(Text(switches.problemItem) == c.item);
        CHECK(switches.silent);
    }
    InstallerSwitches lone = Parse(L"--update");
    CHECK(lone.problem == UpdateWithoutDirectory);
    CHECK_FALSE(lone.updateRequest);
    CHECK(Parse(L"--UPDATE /D=C:\\Y").problem == DirectoryWithUpdate);

    Language = LangEnglish;
    CHECK(Text(SwitchProblemText(Parse(L"/S /QUIET"))) == L"Unknown switch: /QUIET");
    CHECK(Text(SwitchProblemText(Parse(L"/D=C:\\X /S"))) == L"/D= must be the last switch: /D=C:\\X /S");
    Language = LangPolish;
    CHECK(Text(SwitchProblemText(Parse(L"/QUIET"))) == L"Nieznany przełącznik: /QUIET");
}

TEST_CASE("the update request: --UPDATE and a directory first, switches after it")
{
    InstallerSwitches update = Parse(L"::update \"C:\\Program Files\\X\\\\\" /S \"/LOG=C:\\a b.log\"");
    CHECK(update.problem == SwitchesFine);
    CHECK(update.updateRequest);
    CHECK(Text(update.updateDirectory) == L"C:\\Program Files\\X\\");
    CHECK(update.silent);
    CHECK(Text(update.logFile) == L"C:\\a b.log");
}

TEST_CASE("an argument that needs quotes gets them, and the standard splitting gives it back exactly")
{
    const wchar_t* arguments[] = {L"plain",         L"C:\\X",           L"C:\\X\\",           L"C:\\Program Files\\X",
                                  L"C:\\A B\\",     L"C:\\A B\\\\",     L"a\"b",              L"a\\\"b",
                                  L"",              L"tab\there",       L"\\\\server\\s h\\", L"end\\\\"};
    for (const wchar_t* argument : arguments) {
        CAPTURE(std::wstring(argument));
        Str quoted = QuoteArgument(Str(argument));
        std::vector<std::wstring> back = Split(Text(quoted) + L" next");
        REQUIRE(back.size() == 2);
        CHECK(back[0] == argument);
        CHECK(back[1] == L"next");
    }
    CHECK(Text(QuoteArgument(Str(L"C:\\X"))) == L"C:\\X");
    CHECK(Text(QuoteArgument(Str(L"C:\\A B\\"))) == L"\"C:\\A B\\\\\"");
    CHECK(Text(QuoteArgument(Str(L"a\"b"))) == L"\"a\\\"b\"");
}

TEST_CASE("the relaunch parameters give back the same switches, the update directory exactly")
{
    const wchar_t* tails[] = {
        L"/S /NOSHORTCUTS \"/LOG=C:\\Logs Dir\\setup.log\" /D=C:\\Program Files\\Żółw Łódź",
        L"/CURRENTUSER /ForceCloseApplications /D=C:\\X",
        L"--UPDATE C:\\X /S",
        L"--UPDATE \"C:\\Program Files\\X\\\\\" /ALLUSERS",
        L"--UPDATE \"C:\\A B\" \"/LOG=C:\\L\\\\\"",
        L"",
    };
    for (const wchar_t* tail : tails) {
        CAPTURE(std::wstring(tail));
        InstallerSwitches switches = Parse(tail);
        REQUIRE(switches.problem == SwitchesFine);
        Str parameters = RelaunchParameters(switches, switches.kind);
        InstallerSwitches back = Parse(Text(parameters));
        CHECK(back.problem == SwitchesFine);
        CHECK(back.silent == switches.silent);
        CHECK(back.noShortcuts == switches.noShortcuts);
        CHECK(back.kind == switches.kind);
        CHECK(back.closeApplications == switches.closeApplications);
        CHECK(back.updateRequest == switches.updateRequest);
        CHECK(Text(back.updateDirectory) == Text(switches.updateDirectory));
        CHECK(Text(back.directory) == Text(switches.directory));
        CHECK(Text(back.logFile) == Text(switches.logFile));
    }
    // A directory without a final backslash reaches the copy as it is, not with a quote behind it.
    CHECK(Text(RelaunchParameters(Parse(L"--UPDATE \"C:\\X\""), KindAsDecided)) == L"--UPDATE C:\\X");
    CHECK(Text(RelaunchParameters(Parse(L"/S /D=C:\\A B"), KindAllUsers)) == L"/S /ALLUSERS /D=C:\\A B");
    CHECK(RelaunchParameters(Parse(L""), KindAsDecided).isEmpty());
}

TEST_CASE("the help lists every switch and the exit codes")
{
    Language = LangEnglish;
    std::wstring help = Text(SwitchesHelpText(Str(L"setup.exe")));
    Language = LangPolish;
    for (const wchar_t* word : {L"Usage: setup.exe", L"/S", L"/D=", L"/ALLUSERS", L"/CURRENTUSER", L"/NOSHORTCUTS",
                                L"/CLOSEAPPLICATIONS", L"/FORCECLOSEAPPLICATIONS", L"/NOCLOSEAPPLICATIONS", L"/LOG=", L"/HELP", L"1602", L"1603", L"1618", L"87"})
        CHECK(help.find(word) != std::wstring::npos);
    CHECK(Text(SwitchesHelpText(Str(L"setup.exe"))).find(L"Użycie: setup.exe") == 0);
}

TEST_CASE("the log: UTF-8 lines with their time, each on disk at once, appended")
{
    ScratchDir dir;
    std::wstring path = dir.path(L"setup log.txt");
    WriteWholeFile(path, "earlier run\r\n");
    OpenInstallLog(Str(path.c_str()));
    CHECK(InstallLogOpen());
    WriteInstallLog(Str(L"Żółw\nzapisany"));
    std::string written = ReadWholeFile(path); // while the log is still open
    WriteInstallLog(Str(L"Exit code: 0"));
    CloseInstallLog();
    CHECK_FALSE(InstallLogOpen());
    WriteInstallLog(Str(L"after closing")); // dropped

    REQUIRE(written.size() > 13);
    CHECK(written.compare(0, 13, "earlier run\r\n") == 0);
    std::string line = written.substr(13);
    // "YYYY-MM-DD HH:MM:SS  " in front, line breaks inside a line become spaces
    CHECK(line.size() == 21 + 16 + 2);
    CHECK(line.substr(4, 1) == "-");
    CHECK(line.substr(19) == "  \xC5\xBB\xC3\xB3\xC5\x82w zapisany\r\n");
    std::string all = ReadWholeFile(path);
    CHECK(all.substr(all.size() - 14) == "Exit code: 0\r\n");

    CHECK_THROWS_AS(OpenInstallLog(Str(dir.path(L"missing\\log.txt").c_str())), WinError);
}

TEST_CASE("the log cannot be aimed: a file of two names is refused; an elevated copy takes the handle")
{
    ScratchDir dir;
    std::wstring victim = dir.path(L"victim.bat"), log = dir.path(L"log.txt");
    WriteWholeFile(victim, "@echo the user's own\r\n");
    REQUIRE(CreateHardLinkW(dir.path(L"aimed.txt").c_str(), victim.c_str(), nullptr));
    CHECK_FALSE(OpenInstallLog(Str(dir.path(L"aimed.txt").c_str())));
    CHECK_FALSE(InstallLogOpen());
    CHECK(ReadWholeFile(victim) == "@echo the user's own\r\n");
    InstallerSwitches refused = Parse(L"/S \"/LOG=" + dir.path(L"aimed.txt") + L"\"");
    CHECK(refused.problem == SwitchesFine); // the file is looked at when it is opened, by the start-up

    // The process that the user started opens the log; its copy gets the handle's number, never
    // the name, and writes through a duplicate of it.
    REQUIRE(OpenInstallLog(Str(log.c_str())));
    InstallerSwitches switches = Parse(L"/S \"/LOG=" + log + L"\"");
    switches.logHandle = InstallLogHandle();
    InstallerSwitches copy = Parse(Text(RelaunchParameters(switches, KindAllUsers)));
    CHECK(copy.logFile.isEmpty());
    uint64_t starterHandle = InstallLogHandle();
    REQUIRE(copy.logHandle == starterHandle);
    AdoptInstallLog(copy.logHandle, GetCurrentProcessId()); // this process stands for the starter
    CHECK(InstallLogHandle() != starterHandle);
    WriteInstallLog(Str(L"from the copy"));
    CloseInstallLog();
    CHECK(ReadWholeFile(log).find("from the copy\r\n") != std::string::npos);
    CHECK_THROWS_AS(AdoptInstallLog(0x7ff0, GetCurrentProcessId()), WinError);
    CHECK(Parse(L"/LOGHANDLE=x").problem == UnknownSwitch);
}

TEST_CASE("one installation of a program at a time, per program name")
{
    CHECK(Text(InstallMutexName(Str(L"Żółw\\Pro"), true)) == L"Global\\Lumivo Setup ŻÓŁW/PRO");
    CHECK(Text(InstallMutexName(Str(L"App"), false)) == L"Local\\Lumivo Setup APP");
    HANDLE other = CreateMutexW(nullptr, FALSE, L"Global\\Lumivo Setup LUMIVOMUTEXTEST");
    CHECK_FALSE(TakeInstallMutex(Str(L"LumivoMutexTest"), true));
    CHECK(TakeInstallMutex(Str(L"LumivoMutexTest"), false)); // per user is another namespace
    ReleaseInstallMutex();
    CloseHandle(other);
    CHECK(TakeInstallMutex(Str(L"LumivoMutexTest"), true));
    HANDLE again = CreateMutexW(nullptr, FALSE, L"Global\\Lumivo Setup LUMIVOMUTEXTEST");
    CHECK(GetLastError() == ERROR_ALREADY_EXISTS);
    CloseHandle(again);
    ReleaseInstallMutex();

    // Another kind of object under the name blocks too, rather than switching the guard off.
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"Global\\Lumivo Setup LUMIVOMUTEXTEST");
    CHECK_FALSE(TakeInstallMutex(Str(L"LumivoMutexTest"), true));
    CloseHandle(event);
    CHECK(TakeInstallMutex(Str(L"LumivoMutexTest"), true));
    ReleaseInstallMutex();
}

} // TEST_SUITE
