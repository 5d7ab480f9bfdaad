#include "installer/Shortcut.h"

#include "core/AppContext.h"
#include "core/Array.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/StrFormat.h"
#include "installer/InstallHost.h"
#include "installer/InstallTransaction.h"
#include "script/InstallScript.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

// The shell link's identifiers, defined here rather than taken from the uuid library, whose one
// object carries every identifier Windows knows (40 KB of the program).
static const GUID ShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const GUID ShellLinkInterface = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const GUID PersistFileInterface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// A failed COM or shell call: its Windows code where the result carries one, else the result.
static void Check(HRESULT result, const wchar_t* call, const Str& path)
{
    if (!FAILED(result))
        return;
    uint32_t code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<uint32_t>(result);
    ThrowWinError(code, path.text(), call);
}

int StartMenuFolder(bool perUser)
{
    return perUser ? CSIDL_STARTMENU : CSIDL_COMMON_STARTMENU;
}

int DesktopFolder(bool perUser)
{
    return perUser ? CSIDL_DESKTOPDIRECTORY : CSIDL_COMMON_DESKTOPDIRECTORY;
}

Str ShortcutPath(void* ownerWindow, int csidl, const Str& linkName)
{
    OwnedCoTaskMemory items;
    Check(SHGetSpecialFolderLocation(static_cast<HWND>(ownerWindow), csidl,
                                     reinterpret_cast<LPITEMIDLIST*>(items.receive())),
          L"SHGetSpecialFolderLocation", linkName);
    CharBuffer folder;
    folder.reserveZeros(5000);
    if (!SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(items.get()), folder.text()))
        ThrowWinError(0, linkName.text(), L"SHGetPathFromIDListW"); // it sets no code
    Str path = Concat(folder.text(), L"\\");
    path.append(linkName);
    path.append(Str(L".lnk"));
    return path;
}

void CreateShortcut(InstallHost& host, int csidl, const Str& linkName, const Str& targetPath)
{
    HWND owner = static_cast<HWND>(HostWindow(host));
    Str linkPath = ShortcutPath(owner, csidl, linkName);
    {
        ComPtr<IShellLinkW> link;
        ComPtr<IPersistFile> file; // released first, then the link
        Check(CoCreateInstance(ShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, ShellLinkInterface, link.receiveVoid()),
              L"CoCreateInstance(ShellLink)", linkPath);
        Check(link->QueryInterface(PersistFileInterface, file.receiveVoid()), L"QueryInterface(IPersistFile)",
              linkPath);
        Check(link->SetDescription(linkName.text()), L"IShellLinkW::SetDescription", linkPath);
        Check(link->SetIconLocation(targetPath.text(), 0), L"IShellLinkW::SetIconLocation", linkPath);
        Check(link->SetPath(targetPath.text()), L"IShellLinkW::SetPath", linkPath);
        Check(link->SetShowCmd(SW_SHOW), L"IShellLinkW::SetShowCmd", linkPath);
        Check(file->Save(linkPath.text(), FALSE), L"IPersistFile::Save", linkPath);
    }
    OwnedCoTaskMemory folder;
    if (SUCCEEDED(SHGetSpecialFolderLocation(owner, csidl, reinterpret_cast<LPITEMIDLIST*>(folder.receive()))))
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, folder.get(), nullptr);
}

static void AddShortcut(InstallHost& host, InstallTransaction& transaction, int csidl, const Str& linkName,
                        const Str& targetPath, const wchar_t* question)
{
    PutStep step;
    try {
        ClearPath(transaction, step, ShortcutPath(HostWindow(host), csidl, linkName));
        CreateShortcut(host, csidl, linkName, targetPath);
        if (host.writeLog)
            HostLog(host, StrFormat(Tr(L"Utworzono skrót [] do []", L"Created the shortcut [] to []"),
                                    step.path, targetPath));
    } catch (const Error& error) {
        HostLogFailure(host, error);
        UndoStep(transaction, step);
        int answer = HostAlert(host, question, Tr(L"+Kontynuuj|-Anuluj", L"+Continue|-Cancel"), 2);
        if (answer == 1)
            throw Abort();
    }
}

void AddStartMenuShortcut(InstallHost& host, InstallTransaction& transaction, const Str& linkName,
                          const Str& targetPath)
{
    AddShortcut(host, transaction, StartMenuFolder(Script.perUserInstall), linkName, targetPath,
                Tr(L"Nieudane dodanie skrótu do Menu Start.\nKontynuować?",
                   L"Failed to add a shortcut to the Start Menu.\nContinue installation?"));
}

void AddDesktopShortcut(InstallHost& host, InstallTransaction& transaction, const Str& linkName,
                        const Str& targetPath)
{
    AddShortcut(host, transaction, DesktopFolder(Script.perUserInstall), linkName, targetPath,
                Tr(L"Nieudane dodanie skrótu na pulpicie.\nKontynuować?",
                   L"Failed to add a shortcut to the Desktop.\nContinue installation?"));
}
