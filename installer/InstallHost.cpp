#include "installer/InstallHost.h"

#include "core/Error.h"
#include "core/FileSecurity.h"
#include "gui/Form.h"
#include "script/InstallScript.h"

int HostAlert(InstallHost& host, const wchar_t* text, const wchar_t* buttons, uint32_t kind)
{
    const wchar_t* pieces[] = {text, nullptr};
    return HostAlertPieces(host, pieces, buttons, kind);
}

int HostAlertPieces(InstallHost& host, const wchar_t* const* pieces, const wchar_t* buttons, uint32_t kind)
{
    if (host.silent || !host.form) {
        // Nobody reads it: what it would have said goes into the log.
        HostLog(host, ConcatList(pieces));
        return 0;
    }
    return host.form->alertPieces(pieces, Script.titleText.text(), buttons, kind);
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
