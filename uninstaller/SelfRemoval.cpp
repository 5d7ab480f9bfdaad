#include "uninstaller/SelfRemoval.h"

#include "core/AppContext.h"
#include "core/CharCase.h"
#include "core/CommandLine.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "script/InstallScript.h"
#include "uninstaller/UninstallPlan.h"

#include <windows.h>
#include <sddl.h>

#include <wchar.h>

const wchar_t* const FinishSwitch = L"/lumivo-finish";

// A folder readable and writable by the current user and the system only (with administrator
// rights: by administrators and the system, and marked high integrity, so that the user's own
// programs, which run without those rights, cannot change it), under a name that no one could
// have prepared: nothing can be planted beside the copy before it starts.
static Str MakePrivateFolder()
{
    Str sddl(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)S:(ML;OICI;NW;;;HI)");
    if (!isAdmin) {
        OwnedHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive()))
            return Str();
        alignas(8) BYTE userBuffer[256];
        DWORD size = 0;
        if (!GetTokenInformation(token.get(), TokenUser, userBuffer, sizeof userBuffer, &size))
            return Str();
        OwnedLocal sidText;
        if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid,
                                    reinterpret_cast<LPWSTR*>(sidText.receive())))
            return Str();
        sddl = Concat(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;", static_cast<const wchar_t*>(sidText.get()), L")");
    }
    OwnedLocal descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.text(), SDDL_REVISION_1, descriptor.receive(),
                                                              nullptr))
        return Str();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};

    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return Str();
    for (int attempt = 0; attempt < 100; attempt++) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        Str high = DigitsOf(GetCurrentProcessId() ^ static_cast<DWORD>(counter.HighPart), 16, 8);
        Str low = DigitsOf(static_cast<DWORD>(counter.LowPart + attempt * 7919u), 16, 8);
        const wchar_t* name[] = {temp, L"Lumivo-", high.text(), low.text(), nullptr};
        Str folder = ConcatList(name);
        if (CreateDirectoryW(folder.text(), &attributes))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return Str();
    }
    return Str();
}

static Str Quoted(const Str& text)
{
    // Arguments never end in a backslash here (files and folders without a trailing one).
    return Concat(Str(L"\""), text, Str(L"\""));
}

static const wchar_t* const MovedName = L"\\original.exe";
static const wchar_t* const CopyName = L"\\uninstall.exe";

// Starts the copy with an inheritable handle to this process, for it to wait on; false when it
// could not be started (nothing of it is left then).
static bool StartCopy(const Str& copy, const Str& folder, const Str& original, const Str& installDir,
                      const StrArray& foldersAbove)
{
    // The copy's file is deleted when its last handle closes: the one the copy inherits.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    OwnedFileHandle copyFile(CreateFileW(copy.text(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         &inheritable, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) {
        copyFile.reset();
        DeleteFileW(copy.text());
        return false;
    }
    OwnedHandle selfHandle(self);
    Str handleText = DigitsOf(reinterpret_cast<uintptr_t>(self), 10, 1);
    Str command = Quoted(copy);
    const wchar_t* middle[] = {L" ", FinishSwitch, L" ", handleText.text(), L" ", nullptr};
    command.append(ConcatList(middle));
    command.append(Quoted(original));
    command.append(Str(L" "));
    command.append(Quoted(installDir));
    command.append(Str(L" "));
    command.append(Quoted(folder));
    for (int64_t i = 0; i < foldersAbove.length(); i++) {
        command.append(Str(L" "));
        command.append(QuoteArgument(foldersAbove.ref(i)));
    }

    CharBuffer writable; // CreateProcessW may write into the command line
    writable.appendText(command.text(), command.length());
    writable.reserveZeros(1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(copy.text(), writable.text(), nullptr, nullptr, TRUE, 0, nullptr, folder.text(), &startup,
                        &process)) {
        copyFile.reset();
        DeleteFileW(copy.text());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Folders made for the installation above its directory go when nothing else is left in them.
static void RemoveFoldersAbove(const StrArray& folders, const Str& installDir)
{
    for (int64_t i = 0; i < folders.length(); i++)
        if (IsFolderAbove(folders.ref(i), installDir))
            RemoveDirectoryW(folders.ref(i).text());
}

bool ContinueFromCopy(const Str& installDir, const StrArray& foldersAbove)
{
    Str original = ModuleFileName();
    Str folder = MakePrivateFolder();
    if (folder.isEmpty())
        return false;
    // A working directory inside the installation would keep it from being removed.
    SetCurrentDirectoryW(folder.text());
    Str copy = Concat(folder, Str(CopyName));
    if (!CopyFileW(original.text(), copy.text(), TRUE)) {
        RemoveDirectoryW(folder.text());
        return false;
    }
    // A running program's file can be moved, though not deleted: out of the installation it goes,
    // so that the installation is gone when this process ends, which is what a caller waits for.
    // Only a move across volumes fails; then the copy deletes the original where it is.
    Str moved = Concat(folder, Str(MovedName));
    bool movedOut = MoveFileExW(original.text(), moved.text(), 0);
    if (!StartCopy(copy, folder, movedOut ? moved : original, installDir, foldersAbove)) {
        if (movedOut)
            MoveFileExW(moved.text(), original.text(), 0);
        RemoveDirectoryW(folder.text());
        return false;
    }
    if (movedOut) {
        RemoveDirectoryW(installDir.text());
        RemoveFoldersAbove(foldersAbove, installDir);
    }
    // What is left lies in the private folder: gone at the next start of Windows at the latest.
    // Scheduled here, before this process ends, so that nothing changes after a caller's wait.
    MoveFileExW(moved.text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(copy.text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(folder.text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}

static bool IsUninstallerName(const Str& path)
{
    const wchar_t* name = path.text();
    for (int64_t i = 0; i < path.length(); i++)
        if (path.text()[i] == L'\\' || path.text()[i] == L'/')
            name = path.text() + i + 1;
    return StrEqualNoCase(Str(name), L"_de_install.exe") || StrEqualNoCase(Str(name), L"_de_installu.exe");
}

int FinishFromCopy(const StrArray& arguments)
{
    if (arguments.length() < 4)
        return 1;
    HANDLE original = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(wcstoull(arguments.ref(0).text(), nullptr, 10)));
    Str originalPath = arguments.at(1);
    Str installDir = arguments.at(2);
    Str folder = arguments.at(3);
    WaitForSingleObject(original, 30000);
    CloseHandle(original);

    // Only the original moved into this copy's folder, or an uninstaller that lies directly in the
    // installation directory, is deleted.
    bool moved = StrEqualNoCase(originalPath, Concat(folder, Str(MovedName)));
    bool removed = true;
    if (moved || (IsUninstallerName(originalPath) && LiesDirectlyIn(originalPath, installDir))) {
        removed = false;
        for (int attempt = 0; attempt < 100 && !removed; attempt++) {
            removed = DeleteFileW(originalPath.text()) || GetLastError() == ERROR_FILE_NOT_FOUND;
            if (!removed)
                Sleep(100);
        }
    }
    if (!moved) {
        RemoveDirectoryW(installDir.text());
        StrArray foldersAbove;
        foldersAbove.makeEmpty();
        for (int64_t i = 4; i < arguments.length(); i++)
            foldersAbove.append(arguments.at(i));
        RemoveFoldersAbove(foldersAbove, installDir);
    }
    return removed ? 0 : 1;
}
