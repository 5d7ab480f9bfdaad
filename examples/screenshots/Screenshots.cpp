// Opens the windows that a person should look at, one after the other, for tools/screenshots: the
// main form in English and Polish, the main form during an installation, the licence window and
// an alert; with --alerts also every alert kind in English and in Polish, and one with four
// buttons. It runs at the screen's DPI (the Wine prefix's), and the pictures' names end with the
// suffix given on the command line.
// For each shown window it writes "<n>.rect" (name and window rectangle) into the folder given on
// the command line, waits until the script answers with "<n>.done" (or 20 seconds), and closes it.
// At the end it writes "finished".
#include "core/AppContext.h"
#include "core/Error.h"
#include "gui/AlertDialog.h"
#include "gui/ElasticGroup.h"
#include "gui/WindowRegistry.h"
#include "installer/LicenceDialog.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"

#include <windows.h>

#include <functional>
#include <stdio.h>
#include <string>

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
static std::wstring Suffix;
static std::wstring ShotName;
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

// The window on show: this thread's active window, a toolkit form.
static Form* ShownForm()
{
    HWND active = GetActiveWindow();
    return active && IsWindowVisible(active) ? dynamic_cast<Form*>(FindWindowObject(active)) : nullptr;
}

// Runs in the shown window's loop: announces it once it is painted, then waits for the answer.
static void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD)
{
    Form* shown = ShownForm();
    if (ShotName.empty() || !shown)
        return;
    if (!Announced) {
        if (GetTickCount() - ShownAt < 700)
            return; // let the window settle and paint
        RedrawWindow(shown->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT place = shown->windowRect();
        char line[300];
        snprintf(line, sizeof line, "%ls-%ls %ld %ld %ld %ld\n", ShotName.c_str(), Suffix.c_str(), place.left,
                 place.top, place.right, place.bottom);
        wchar_t path[MAX_PATH];
        FilePath(path, MAX_PATH, ShotNumber, L"rect");
        WriteLine(path, line);
        Announced = true;
        return;
    }
    wchar_t done[MAX_PATH];
    FilePath(done, MAX_PATH, ShotNumber, L"done");
    if (GetFileAttributesW(done) != INVALID_FILE_ATTRIBUTES || GetTickCount() - ShownAt > 20000)
        shown->quitLoop();
}

// Shows a window with show, which returns once the watch has ended the window's loop.
static void Photograph(const wchar_t* name, int32_t language, const std::function<void()>& show)
{
    Language = language;
    ShotName = name;
    ShotNumber++;
    ShownAt = GetTickCount();
    Announced = false;
    show();
    ShotName.clear();
}

// The settings of the program that the main form offers to install.
static void SampleProgram()
{
    Script = InstallScript();
    Script.programName = L"Zażółć Gęślą Jaźń";
    Script.exeFile = L"zgj.exe";
    Script.installDir = L"C:\\Program Files\\Zażółć Gęślą Jaźń";
    Script.titleText = L"Zażółć Gęślą Jaźń 2.0";
    Script.copyrightText = L"Copyright © 2026 Quenbar";
    Script.startMenuText = L"yes";
    Script.desktopText = L"yes";
    Script.startMenuShortcut = true;
    Script.offerAllUsers = true;
}

static const wchar_t LicenceText[] =
    L"LICENCE AGREEMENT\r\n\r\nZażółć Gęślą Jaźń 2.0 is licensed, not sold. You may install it on any "
    L"number of computers that you use, make copies for backup, and give unchanged copies to others.\r\n\r\n"
    L"You may not remove this notice or the name of its authors.\r\n\r\nTHE PROGRAM IS PROVIDED AS IS, "
    L"WITHOUT WARRANTY OF ANY KIND. IN NO EVENT SHALL THE AUTHORS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER "
    L"LIABILITY ARISING FROM THE USE OF THE PROGRAM.\r\n\r\nUMOWA LICENCYJNA\r\n\r\nProgram jest "
    L"udostępniany na licencji, nie sprzedawany. Możesz go zainstalować na dowolnej liczbie komputerów, z "
    L"których korzystasz.";

static void ShowMainForm()
{
    MainForm form;
    form.runLoop();
}

// The main form as it looks a third of the way through copying the files.
static void ShowInstalling()
{
    MainForm form;
    form.rootGroup->hide();
    form.installing = true;
    form.setStatus(Str(Tr(L"Kopiowanie plików...", L"Copying files...")), Str());
    form.setProgress(37, 100);
    form.runLoop();
    form.installing = false;
}

static void ShowAlertShot(const Shot& shot)
{
    AlertDialog alert(nullptr, Str(shot.message), shot.title, shot.buttons, shot.kind);
    alert.run();
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || argc > 4 || (argc == 4 && wcscmp(argv[3], L"--alerts") != 0)) {
        fprintf(stderr, "usage: lumivo-screenshots FOLDER SUFFIX [--alerts]\n");
        return 2;
    }
    Folder = argv[1];
    Suffix = argv[2];
    bool everyAlert = argc == 4;
    AppContext context = {};
    int status = 0;
    try {
        CreateAppContext(&context, GetModuleHandleW(nullptr));
        CoInitialize(nullptr);
        UINT_PTR timer = SetTimer(nullptr, 0, 100, Watch);
        SampleProgram();
        Photograph(L"main-en", LangEnglish, ShowMainForm);
        Photograph(L"main-pl", LangPolish, ShowMainForm);
        Photograph(L"installing-en", LangEnglish, ShowInstalling);
        Photograph(L"licence-en", LangEnglish,
                   [] { RunLicenceDialog(nullptr, L"Zażółć Gęślą Jaźń 2.0 Licence", Str(LicenceText)); });
        Photograph(L"alert-pl", LangPolish, [] { ShowAlertShot(Shots[5]); });
        if (everyAlert)
            for (const Shot& shot : Shots)
                Photograph(shot.name, shot.language, [&shot] { ShowAlertShot(shot); });
        KillTimer(nullptr, timer);
        ReleaseInstallScript();
        CoUninitialize();
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
