#include "installer/FolderBrowser.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "gui/EditLine.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"

#include <windows.h>
#include <shlobj.h>

enum : int64_t { PickerBufferUnits = 5264 };

static int CALLBACK OpenAtStart(HWND picker, UINT message, LPARAM, LPARAM start)
{
    if (message == BFFM_INITIALIZED)
        SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

Str ProposedDirectory(const wchar_t* chosenFolder, const Str& programName)
{
    Str folder = AddTrailingSlash(Str(chosenFolder));
    if (folder.length() + programName.length() >= PickerBufferUnits)
        throw IndexError();
    return Concat(folder, programName);
}

void BrowseForDirectory(MainForm& form)
{
    Str start = DirectoryOf(form.directoryField->getText());
    wchar_t* buffer = static_cast<wchar_t*>(AllocateZeroed(PickerBufferUnits * sizeof(wchar_t)));
    struct Freed {
        wchar_t* block;
        ~Freed() { FreeBlock(block); }
    } freed = {buffer};

    BROWSEINFOW info = {};
    info.hwndOwner = form.handle();
    info.pszDisplayName = buffer;
    info.lpszTitle = Tr(L"Wybierz katalog docelowy instalacji.", L"Select the installation destination directory");
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = OpenAtStart;
    info.lParam = reinterpret_cast<LPARAM>(start.text());
    OwnedCoTaskMemory chosen(SHBrowseForFolderW(&info));
    if (!chosen)
        return;
    buffer[0] = 0;
    SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), buffer);
    chosen.reset();
    if (buffer[0] == 0)
        return;
    form.directoryField->setText(ProposedDirectory(buffer, Script.programName).text());
}
