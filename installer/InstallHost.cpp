#include "installer/InstallHost.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ErrorMessage.h"
#include "gui/AlertButtons.h"
#include "core/FileSecurity.h"
#include "gui/Form.h"
#include "script/InstallScript.h"

// The caption of the answered button, as the alert's list of buttons names it, for the log.
static Str ButtonCaption(const wchar_t* buttons, int answer)
{
    AlertButtons parsed = ParseAlertButtons(buttons);
    return answer >= 0 && answer < parsed.count ? parsed.captions[answer] : IntToStr(answer);
}

int HostAlert(InstallHost& host, const wchar_t* text, const wchar_t* buttons, uint32_t kind)
{
    const wchar_t* pieces[] = {text, nullptr};
    return HostAlertPieces(host, pieces, buttons, kind);
}

int HostAlertPieces(InstallHost& host, const wchar_t* const* pieces, const wchar_t* buttons, uint32_t kind)
{
    // Written when asked, so that a run killed at the question still says what it asked.
    if (host.writeLog)
        HostLog(host, Concat(Str(Tr(L"Komunikat: ", L"Alert: ")), ConcatList(pieces)));
    // Nobody reads it in silence: the first button is taken.
    bool shown = !host.silent && host.form;
    int answer = shown ? host.form->alertPieces(pieces, Script.titleText.text(), buttons, kind) : 0;
    if (host.writeLog)
        HostLog(host, Concat(Str(shown ? Tr(L"Odpowiedź: ", L"Answer: ")
                                       : Tr(L"Odpowiedź bez pytania: ", L"Answered without asking: ")),
                             ButtonCaption(buttons, answer)));
    return answer;
}

void HostStatus(InstallHost& host, const Str& line1, const Str& line2)
{
    if (host.setStatus)
        host.setStatus(host, line1, line2);
}

void HostProgress(InstallHost& host, int64_t done, int64_t total)
{
    host.progressDone = done;
    host.progressTotal = total;
    if (host.setProgress)
        host.setProgress(host, done, total);
}

void HostKeepAnswering(InstallHost& host)
{
    if (host.setProgress)
        host.setProgress(host, host.progressDone, host.progressTotal);
}

void HostLog(InstallHost& host, const Str& line)
{
    if (host.writeLog)
        host.writeLog(host, line);
}

void HostStep(InstallHost& host, const wchar_t* step, const Str& object)
{
    host.step = step;
    host.stepObject = object;
}

Str HostStepText(const InstallHost& host)
{
    if (host.stepObject.isEmpty())
        return Str(host.step);
    const wchar_t* pieces[] = {host.step, L" ", host.stepObject.text(), nullptr};
    return ConcatList(pieces);
}

void HostLogFailure(InstallHost& host, const Error& error)
{
    if (host.writeLog)
        HostLog(host, FailureLine(HostStepText(host), error));
}

void HostWaiting(InstallHost& host)
{
    if (host.whileWaiting)
        host.whileWaiting(host);
}

bool HostOnlyAdministratorsCanChange(InstallHost& host, void* handle, const Str& path, ChangeScope scope)
{
    if (host.onlyAdministratorsCanChange)
        return host.onlyAdministratorsCanChange(host, handle, path, scope);
    return OnlyAdministratorsCanChange(handle, scope);
}

void StopIfCancelled(InstallHost& host)
{
    if (host.cancelRequested)
        throw Abort();
}

void* HostWindow(const InstallHost& host)
{
    return host.form ? host.form->handle() : nullptr;
}
