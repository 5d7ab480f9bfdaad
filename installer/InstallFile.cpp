#include "installer/InstallFile.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryFile.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "gui/Form.h"
#include "script/InstallScript.h"

#include <windows.h>

// The question for a failed write, or -1 when the failure is not one to retry.
static int AskRetry(Form& form, const Error& error, const Str& destination)
{
    const wchar_t* buttons = Tr(L"+Ponów|-Anuluj", L"+Retry|-Cancel");
    if (error.code == ERROR_DISK_FULL)
        return form.alert(
            Tr(L"Brak miejsca na dysku docelowym.\n\nMożesz spróbować skasować niepotrzebne pliki i nacisnąć "
                   L"Ponów w celu ponowienia lub przerwać istalację naciskając Anuluj.",
                   L"There is no space on the destination disk.\n\nYou can try to delete some unused files and "
                   L"press the Retry button or cancel installation by pressing the Cancel button."),
            Script.titleText.text(), buttons, 2);
    if (error.code == ERROR_ACCESS_DENIED || error.code == ERROR_SHARING_VIOLATION) {
        const wchar_t* pieces[] = {
            Tr(L"Plik \"", L"The file \""), destination.text(),
            Tr(L"\"\njest aktualnie używany, albo nie masz praw do zapisu w katalogu.\n\nProszę zamknąć wszystkie "
               L"programy i nacisnąć Ponów w celu ponowienia lub przerwać istalację naciskając Anuluj.",
               L"\"\nis currently in use, or you do not have write access to the directory.\n\nPlease close all "
               L"programs and press the Retry button  or cancel installation by pressing the Cancel button."),
            nullptr};
        return form.alertPieces(pieces, Script.titleText.text(), buttons, 2);
    }
    return -1;
}

void InstallFile(Form& form, const Str& entryName, const Str& destination)
{
    ByteArray bytes = ReadEntry(entryName.text(), entryName.length());
    uint64_t time = LastEntryTime; // kept for every retry: nothing else is read in between
    for (;;) {
        try {
            WriteEntryFile(destination, bytes);
            SetFileAttributesW(destination.text(), FILE_ATTRIBUTE_NORMAL);
            return;
        } catch (const Error& error) {
            int answer = AskRetry(form, error, destination);
            if (answer < 0)
                throw;
            if (answer != 0)
                throw Abort();
            LastEntryTime = time;
        }
    }
}
