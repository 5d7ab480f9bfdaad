// The installer's command line: the update request of old and the switches that deployment
// tools pass, and the parameters that hand the same switches to an elevated copy.
#ifndef LUMIVO_INSTALLER_INSTALLERSWITCHES_H
#define LUMIVO_INSTALLER_INSTALLERSWITCHES_H

#include "core/Str.h"
#include "running/ClosingFlow.h"

#include <stdint.h>

// Who the installation is for: as the start-up decides, or as a switch says.
enum InstallKind : int32_t { KindAsDecided = 0, KindAllUsers = 1, KindCurrentUser = 2 };

// Why a command line is refused; the switches are then not acted on.
enum SwitchProblem : int32_t {
    SwitchesFine = 0,
    UnknownSwitch,          // problemItem: the argument
    TwoKinds,               // /ALLUSERS and /CURRENTUSER together
    TwoCloseChoices,        // two of /NOCLOSEAPPLICATIONS, /CLOSEAPPLICATIONS, /FORCECLOSEAPPLICATIONS
    EmptyLogFile,           // /LOG= without a file
    BadDirectory,           // problemItem: the /D= value (empty, relative, a drive, a quote)
    DirectoryNotLast,       // problemItem: the /D= value, which holds further switches
    DirectoryWithUpdate,    // /D= beside --UPDATE, which names the directory itself
    UpdateWithoutDirectory, // a lone --UPDATE
    LogFileIsLink,          // problemItem: the /LOG= file, a link or a file of several names
};

struct InstallerSwitches {
    bool silent = false;      // /S
    bool help = false;        // /? or /HELP
    bool noShortcuts = false; // /NOSHORTCUTS
    InstallKind kind = KindAsDecided;
    CloseChoice closeApplications = CloseAsk; // what to do with programs that use the installation's files
    Str directory; // /D=, taken to the end of the line, without trailing separators; empty if absent
    Str logFile;   // /LOG=, a full path; empty if absent
    // /LOGHANDLE=, which an elevated copy gets instead of /LOG=: the number of the log's handle in
    // the process that started it, which opened the file with the user's own rights; 0 if absent.
    uint64_t logHandle = 0;
    bool updateRequest = false; // "--UPDATE" or "::UPDATE" and a directory as the first arguments
    Str updateDirectory;        // exactly as given
    SwitchProblem problem = SwitchesFine;
    Str problemItem;
};

// The switches of this run, as the start-up read them from the command line.
extern InstallerSwitches RunSwitches;

// The switches of a whole command line, program name first (as GetCommandLineW gives it). The
// arguments are split by the standard Windows rules, except that the first argument that begins
// with "/D=" takes the rest of the line, unquoted (a "/D=..." argument wholly in quotes, as shells
// pass one with spaces, counts too). Switches ignore case. Never raises for bad
// switches: it reports them in problem (and still notes /S, so that a silent run stays silent).
InstallerSwitches ParseInstallerSwitches(const wchar_t* commandLine);

// The message for a refused command line, in the interface language.
Str SwitchProblemText(const InstallerSwitches& switches);

// The text of /? and /HELP: every switch and the exit codes, in the interface language.
Str SwitchesHelpText(const Str& programFile);

// The parameters of a copy of this program that gives back the same switches with the kind
// replaced by kind: every argument quoted as the splitting needs, /D= last and unquoted; the log
// as /LOGHANDLE= when its handle is known, else as /LOG=.
Str RelaunchParameters(const InstallerSwitches& switches, InstallKind kind);

// The parameters for the main window's all-users button: this run's switches, for all users when
// they asked for the current user.
Str AllUsersParameters();

#endif
