// What the installation procedure needs from whoever runs it: the window whose status lines,
// progress and alerts it uses in an interactive run, or nothing at all in a silent one.
#ifndef LUMIVO_INSTALLER_INSTALLHOST_H
#define LUMIVO_INSTALLER_INSTALLHOST_H

#include "core/Str.h"

#include <stdint.h>

class Error;
class Form;
struct InstallHost;

// Shows the two status lines and repaints the window before returning.
typedef void (*StatusSetter)(InstallHost& host, const Str& line1, const Str& line2);
// Shows that done bytes of total are written; may let the window repaint and answer, which is
// where the user's request to cancel arrives (cancelRequested).
typedef void (*ProgressSetter)(InstallHost& host, int64_t done, int64_t total);
// Records one step of the installation in the log the caller asked for.
typedef void (*LogWriter)(InstallHost& host, const Str& line);
// Lets the window repaint and answer while the installation waits (for an entry being unpacked, for
// the workers to stop); the user's request to cancel may arrive here too.
typedef void (*WaitHandlerOfHost)(InstallHost& host);

struct InstallHost {
    Form* form = nullptr; // owns the alerts; null when nothing may be shown
    StatusSetter setStatus = nullptr;
    ProgressSetter setProgress = nullptr;
    LogWriter writeLog = nullptr;
    WaitHandlerOfHost whileWaiting = nullptr;
    void* owner = nullptr;        // the caller's own state, for its setters
    bool silent = false;          // no window, no question: every alert takes its safe answer
    bool cancelRequested = false; // honoured at the next file boundary, like Cancel
    int64_t progressDone = 0;     // what HostProgress showed last
    int64_t progressTotal = 0;
    const wchar_t* step = L"";   // what the installation does now, and to what, named by the log of
    Str stepObject;               // a failure
};

// An alert of the installation, captioned with the title; the index of the pressed button. Its
// text and the answer go into the log. In a silent run, or without a form, nothing is shown and
// the first button is taken.
int HostAlert(InstallHost& host, const wchar_t* text, const wchar_t* buttons, uint32_t kind);
int HostAlertPieces(InstallHost& host, const wchar_t* const* pieces, const wchar_t* buttons, uint32_t kind);
void HostStatus(InstallHost& host, const Str& line1, const Str& line2);
void HostProgress(InstallHost& host, int64_t done, int64_t total);
// Shows the last progress again, which lets the window repaint and answer during long work that
// moves no byte forward (undoing an installation, deleting kept files).
void HostKeepAnswering(InstallHost& host);
void HostLog(InstallHost& host, const Str& line);
// Notes what the installation does now and to what ("writing", "C:\App\a.exe"), for
// HostLogFailure; step is a literal.
void HostStep(InstallHost& host, const wchar_t* step, const Str& object = Str());
// The step and its object as the log names them.
Str HostStepText(const InstallHost& host);
// The log line of a failure: the step, the message a user would see, then the code, the call that
// failed and the object (file, entry or key) it concerns.
void HostLogFailure(InstallHost& host, const Error& error);
void HostWaiting(InstallHost& host);
// Raises Abort when the user asked to cancel.
void StopIfCancelled(InstallHost& host);
// The owner window of shell calls: the form's, or none.
void* HostWindow(const InstallHost& host);

#endif
