// Opens the message boxes that a person should look at, one after the other, for
// tools/screenshots: every alert kind in English and in Polish, and one with four buttons.
// For each shown alert it writes "<n>.rect" (name and window rectangle) into the folder given on
// the command line, waits until the script answers with "<n>.done" (or 20 seconds), and closes it.
// At the end it writes "finished".
#include "core/AppContext.h"
#include "core/Error.h"
#include "gui/AlertDialog.h"
#include "gui/Button.h"

#include <windows.h>

#include <stdio.h>

struct Shot {
    const wchar_t* name;
    int32_t language;
    uint32_t kind;
    const wchar_t* title;
    const wchar_t* message;
    const wchar_t* buttons;
};

static const Shot Shots[] = {
    {L"01-warning-en", LangEnglish, AlertWarning, L"Zażółć Gęślą Jaźń 2.0 - Setup",
     L"The folder \"C:\\Program Files\\Zażółć Gęślą Jaźń\" already holds files of another program. "
     L"Installing into it may overwrite some of them.\nDo you want to continue anyway?",
     L"+Continue|-Cancel"},
    {L"02-warning-pl", LangPolish, AlertWarning, L"Zażółć Gęślą Jaźń 2.0 - Instalacja",
     L"Katalog \"C:\\Program Files\\Zażółć Gęślą Jaźń\" zawiera już pliki innego programu. Instalacja "
     L"może zastąpić niektóre z nich.\nCzy mimo to kontynuować? Źle wybrany katalog łatwo zmienić później.",
     L"+Kontynuuj|-Anuluj"},
    {L"03-error-en", LangEnglish, AlertError, L"Error - Lumivo",
     L"Access denied for file \"C:\\Program Files\\Zażółć Gęślą Jaźń\\bin\\gęślą.exe\"\n"
     L"May be used by another program. Close every window of the program and try again.",
     L"+Retry|-Cancel"},
    {L"04-error-pl", LangPolish, AlertError, L"Problem - Lumivo",
     L"Plik \"C:\\Program Files\\Zażółć Gęślą Jaźń\\bin\\gęślą.exe\" jest niedostępny\n"
     L"Może być używany przez inny program. Zamknij wszystkie okna tego programu i spróbuj ponownie.",
     L"+Ponów|-Anuluj"},
    {L"05-question-en", LangEnglish, AlertQuestion, L"Zażółć Gęślą Jaźń 2.0 - Setup",
     L"An earlier version of Zażółć Gęślą Jaźń is installed for all users of this computer. Do you want "
     L"to replace it with version 2.0 and keep your settings?",
     L"+Yes|-No"},
    {L"06-question-pl", LangPolish, AlertQuestion, L"Zażółć Gęślą Jaźń 2.0 - Instalacja",
     L"Na tym komputerze jest już zainstalowana wcześniejsza wersja programu Zażółć Gęślą Jaźń dla "
     L"wszystkich użytkowników. Czy zastąpić ją wersją 2.0 i zachować ustawienia?",
     L"+Tak|-Nie"},
    {L"07-information-en", LangEnglish, AlertInformation, L"Zażółć Gęślą Jaźń 2.0 - Setup",
     L"Installation completed successfully. The program can be started from the shortcut on the "
     L"desktop or from the Start menu, and removed in the list of installed programs.",
     L"+OK"},
    {L"08-information-pl", LangPolish, AlertInformation, L"Zażółć Gęślą Jaźń 2.0 - Instalacja",
     L"Instalacja wykonana prawidłowo. Program można uruchomić skrótem na pulpicie lub z menu Start, "
     L"a usunąć go na liście zainstalowanych programów. Miłej pracy!",
     L"+OK"},
    {L"09-four-buttons", LangPolish, AlertQuestion, L"Zażółć Gęślą Jaźń 2.0 - Instalacja",
     L"W wybranym katalogu jest już ta sama wersja programu. Co zrobić: zainstalować ją od nowa, "
     L"zaktualizować tylko zmienione pliki, naprawić brakujące pliki, czy zakończyć instalację?",
     L"+Zainstaluj|Aktualizuj|Napraw|-Anuluj"},
};

static const wchar_t* Folder = nullptr;
static AlertDialog* Running = nullptr;
static int ShotNumber = 0;
static DWORD ShownAt = 0;
static bool Announced = false;

static void FilePath(wchar_t* path, size_t capacity, int number, const wchar_t* suffix)
{
    if (number > 0)
        _snwprintf(path, capacity, L"%ls\\%d.%ls", Folder, number, suffix);
    else
        _snwprintf(path, capacity, L"%ls\\%ls", Folder, suffix);
    path[capacity - 1] = 0;
}

// Written under a temporary name and renamed, so that the script never reads half a line.
static void WriteLine(const wchar_t* path, const char* line)
{
    wchar_t partial[MAX_PATH + 8];
    _snwprintf(partial, MAX_PATH + 8, L"%ls.part", path);
    partial[MAX_PATH + 7] = 0;
    HANDLE file = CreateFileW(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(partial, path, MOVEFILE_REPLACE_EXISTING);
}

// Runs in the alert's loop: announces the shown alert once it is painted, then waits for the answer.
static void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD)
{
    if (!Running || !IsWindowVisible(Running->hwnd))
        return;
    if (!Announced) {
        if (GetTickCount() - ShownAt < 500)
            return; // let the alert settle and paint
        RedrawWindow(Running->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT place = Running->windowRect();
        char line[200];
        snprintf(line, sizeof line, "%ls %ld %ld %ld %ld\n", Shots[ShotNumber - 1].name, place.left, place.top,
                 place.right, place.bottom);
        wchar_t path[MAX_PATH];
        FilePath(path, MAX_PATH, ShotNumber, L"rect");
        WriteLine(path, line);
        Announced = true;
        return;
    }
    wchar_t done[MAX_PATH];
    FilePath(done, MAX_PATH, ShotNumber, L"done");
    if (GetFileAttributesW(done) != INVALID_FILE_ATTRIBUTES || GetTickCount() - ShownAt > 20000)
        Running->quitLoop();
}

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: lumivo-screenshots FOLDER\n");
        return 2;
    }
    Folder = argv[1];
    AppContext context = {};
    int status = 0;
    try {
        CreateAppContext(&context, GetModuleHandleW(nullptr));
        UINT_PTR timer = SetTimer(nullptr, 0, 100, Watch);
        for (const Shot& shot : Shots) {
            Language = shot.language;
            AlertDialog alert(nullptr, Str(shot.message), shot.title, shot.buttons, shot.kind);
            Running = &alert;
            ShotNumber++;
            ShownAt = GetTickCount();
            Announced = false;
            alert.run();
            Running = nullptr;
        }
        KillTimer(nullptr, timer);
    } catch (const Error& error) {
        fprintf(stderr, "lumivo-screenshots: error %d\n", error.code);
        status = 1;
    }
    wchar_t finished[MAX_PATH];
    FilePath(finished, MAX_PATH, 0, L"finished");
    WriteLine(finished, "finished\n");
    DestroyAppContext(&context);
    return status;
}
