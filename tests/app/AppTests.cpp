#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "gui/Color.h"
#include "gui/EditLine.h"
#include "installer/ElevatedRelaunch.h"
#include "installer/FolderBrowser.h"
#include "installer/LicenceDialog.h"
#include "installer/MainForm.h"
#include "installer/Startup.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"
#include "support/ArchiveBuilder.h"
#include "support/ModalHelper.h"
#include "support/TestFiles.h"
#include "tests/app/AppScene.h"

#include <windows.h>
#include <objbase.h>

namespace {

// Records the command line of a relaunched copy of this test program.
struct RecordedRelaunch {
    explicit RecordedRelaunch(int exitCode) : file(dir.path(L"child.txt"))
    {
        SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_RECORD", file.c_str());
        SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_EXIT", std::to_wstring(exitCode).c_str());
    }
    ~RecordedRelaunch()
    {
        SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_RECORD", nullptr);
        SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_EXIT", nullptr);
    }
    bool ran() const { return FileExists(file); }
    // The command line after the program's own (quoted or plain) path.
    std::wstring parameters() const
    {
        std::string bytes = ReadWholeFile(file);
        std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        size_t end = line[0] == L'"' ? line.find(L'"', 1) + 1 : line.find(L' ');
        if (end == std::wstring::npos || end >= line.size())
            return L"";
        return line.substr(end + 1);
    }
    ScratchDir dir;
    std::wstring file;
};

} // namespace

TEST_SUITE("mainform") {

TEST_CASE("the window shows what the script asks for")
{
    AppScene scene;
    Script.offerAllUsers = true;
    MainForm* form = new MainForm();
    HWND window = form->handle();
    CHECK(form->isShown());
    CHECK(WindowText(window) == L"LumivoAppTest Setup");
    CHECK(std::wstring(form->directoryField->getText().text()) == scene.scratch.path(L"LumivoAppTest"));
    CHECK(GetDlgItem(window, StartMenuBoxId) != nullptr);
    CHECK(GetDlgItem(window, DesktopBoxId) == nullptr); // an empty value shows no check box
    CHECK(SendMessageW(GetDlgItem(window, StartMenuBoxId), BM_GETCHECK, 0, 0) == BST_CHECKED);
    CHECK(GetDlgItem(window, CommandAllUsers) != nullptr);
    RECT bounds = form->windowRect();
    CHECK(bounds.right - bounds.left >= 550);
    delete form;

    // As administrator there is no all-users button; without shortcut keys no check boxes.
    Script.offerAllUsers = false;
    Script.startMenuText.release();
    Script.desktopText.release();
    Script.titleText = L"Own title";
    form = new MainForm();
    CHECK(GetDlgItem(form->handle(), CommandAllUsers) == nullptr);
    CHECK(GetDlgItem(form->handle(), StartMenuBoxId) == nullptr);
    CHECK(WindowText(form->handle()) == L"Own title");
    delete form;
}

TEST_CASE("a script without a program name or executable refuses to open the window")
{
    AppScene scene;
    Script.exeFile.release();
    AnswerAlerts({0});
    CHECK_THROWS_AS(new MainForm(), Abort);
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"There is no executable file name in the \"INSTALL.SCRIPT\" file.");
    CHECK(SeenAlerts()[0].title == L"Lumivo");
}

TEST_CASE("Exit and the close box ask first; No keeps the window")
{
    AppScene scene;
    MainForm* form = new MainForm();
    HWND window = form->handle();
    AnswerAlerts({1, 0});
    RunInModalLoop([&] { PostMessageW(window, WM_COMMAND, CommandExit, 0); });
    // The close box once the first question has been answered and has gone.
    RunInModalLoopUntil([&] {
        if (SeenAlerts().size() != 1 || FindWindowW(L"Lumivo Dialog", nullptr))
            return false;
        PostMessageW(window, WM_CLOSE, 0, 0);
        return true;
    });
    form->runLoop();
    REQUIRE(SeenAlerts().size() == 2);
    CHECK(SeenAlerts()[0].text == L"Do you want to cancel the program installation?");
    CHECK(SeenAlerts()[0].title == L"Lumivo");
    CHECK(SeenAlerts()[0].buttons == std::vector<std::wstring>{L"Yes", L"No"});
    CHECK(form->isShown());
    CHECK(IsWindow(window));
    CHECK(scene.context.exitCode == 1);
    delete form;
}

TEST_CASE("Install takes the field and the check boxes, installs and ends the loop")
{
    AppScene scene;
    MainForm* form = new MainForm();
    std::wstring target = scene.scratch.path(L"Elsewhere");
    form->directoryField->setText(target.c_str());
    SendMessageW(GetDlgItem(form->handle(), StartMenuBoxId), BM_SETCHECK, BST_UNCHECKED, 0);
    AnswerAlerts({0});
    RunInModalLoop([&] { PostMessageW(form->handle(), WM_COMMAND, CommandInstall, 0); });
    form->runLoop();
    CHECK(scene.context.exitCode == 0);
    CHECK(FileExists(target + L"\\hello.exe"));
    CHECK_FALSE(Script.startMenuShortcut);
    CHECK(std::wstring(form->statusLine1.text()) == L"Copying files       SUCCESS");
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Installation completed successfully.");
    delete form;
}

TEST_CASE("a high-contrast theme: the banner and the texts on the backdrop take its colours")
{
    AppScene scene;
    // Wine has no high-contrast mode to switch on: the form is told so, and the colours are set.
    int elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    COLORREF saved[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT)};
    COLORREF theme[] = {RGB(0, 0, 0), RGB(255, 255, 0)};
    REQUIRE(SetSysColors(2, elements, theme));
    HighContrastReader previous = ReadHighContrast;
    ReadHighContrast = [] { return true; };
    MainForm* form = new MainForm();
    form->setStatus(Str(L"Copying files..."), Str());
    HDC dc = GetDC(form->handle());
    RECT client = form->clientRect();
    COLORREF banner = GetPixel(dc, client.right - 5, form->scaled(5));
    bool yellowText = false; // the status line, yellow or nearly so where its letters are smoothed
    for (int y = form->scaled(96); y < form->scaled(96) + 20 && !yellowText; y++)
        for (int x = form->scaled(64); x < form->scaled(64) + 100 && !yellowText; x++) {
            COLORREF pixel = GetPixel(dc, x, y);
            yellowText = GetRValue(pixel) > 160 && GetGValue(pixel) > 160 && GetBValue(pixel) < 80;
        }
    ReleaseDC(form->handle(), dc);
    delete form;
    ReadHighContrast = previous;
    SetSysColors(2, elements, saved);
    CHECK(banner == RGB(0, 0, 0));
    CHECK(yellowText);
}

TEST_CASE("update mode installs while the window stays hidden")
{
    AppScene scene;
    Script.updateMode = true;
    AnswerAlerts({0});
    MainForm* form = new MainForm();
    CHECK_FALSE(form->isShown());
    CHECK_FALSE(IsWindowVisible(form->handle()));
    CHECK(FileExists(scene.scratch.path(L"LumivoAppTest\\hello.exe")));
    CHECK(SeenAlerts().empty());
    CHECK(scene.context.exitCode == 0);
    delete form;
}

} // TEST_SUITE

TEST_SUITE("licence") {

TEST_CASE("OK, Esc and the close box end the licence window")
{
    AppScene scene;
    struct Ending {
        UINT message;
        WPARAM wParam;
        int32_t result;
    } endings[] = {{WM_COMMAND, 1, 1}, {WM_COMMAND, 2, 2}, {WM_CLOSE, 0, 2}};
    for (const Ending& ending : endings) {
        CAPTURE(ending.message);
        std::wstring shown;
        int lines = 0;
        RunInModalLoopUntil([&] {
            HWND dialog = ThreadWindow(L"Lumivo Dialog");
            if (!dialog)
                return false;
            HWND text = GetDlgItem(dialog, LicenceTextId);
            shown = WindowText(text);
            lines = static_cast<int>(SendMessageW(text, EM_GETLINECOUNT, 0, 0));
            PostMessageW(dialog, ending.message, ending.wParam, 0);
            return true;
        });
        CHECK(RunLicenceDialog(nullptr, L"Licence", Str(L"First line\nsecond line\rthird\r\n")) == ending.result);
        CHECK(shown == L"First line\r\nsecond line\r\nthird\r\n");
        CHECK(lines == 4);
    }
}

TEST_CASE("the licence entry comes from the archive; a missing one is an error")
{
    AppScene scene;
    MainForm* form = new MainForm();
    std::wstring title;
    RunInModalLoopUntil([&] {
        HWND dialog = ThreadWindow(L"Lumivo Dialog");
        if (!dialog)
            return false;
        title = WindowText(dialog);
        CHECK_FALSE(IsWindowEnabled(form->handle())); // the main form waits
        PostMessageW(dialog, WM_COMMAND, 2, 0);
        return true;
    });
    ShowLicence(*form);
    CHECK(title == L"LumivoAppTest Licence");
    CHECK(IsWindowEnabled(form->handle()));
    Script.licenceEntry = L"missing.txt";
    CHECK_THROWS_AS(ShowLicence(*form), WinError);
    delete form;
}

TEST_CASE("the chosen folder gets the program's name")
{
    CHECK(ProposedDirectory(L"D:\\Tools", Str(L"App")) == L"D:\\Tools\\App");
    CHECK(ProposedDirectory(L"D:\\", Str(L"App")) == L"D:\\App");
    std::wstring deep(5260, L'x');
    CHECK_THROWS_AS(ProposedDirectory(deep.c_str(), Str(L"App")), IndexError);
    CHECK(std::wstring(WithWindowsLineEnds(Str(L"a\r\nb")).text()) == L"a\r\nb");
}

} // TEST_SUITE

TEST_SUITE("startup") {

TEST_CASE("the update parameters double a final backslash")
{
    CHECK(UpdateParameters(Str(L"C:\\X")) == L"--UPDATE \"C:\\X\\\"");
    CHECK(UpdateParameters(Str(L"C:\\A\\")) == L"--UPDATE \"C:\\A\\\\\"");
}

TEST_CASE("an update of an all-users installation without rights relaunches with the directory")
{
    AppScene scene;
    isAdmin = false;
    std::wstring dir = scene.scratch.path(L"Installed");
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteWholeFile(dir + L"\\_de_install.exe", "uninstaller");
    StrArray arguments;
    arguments.append(Str(L"--update"));
    arguments.append(Str(dir.c_str()));
    RecordedRelaunch child(7);
    RunInstaller(arguments);
    REQUIRE(child.ran());
    CHECK(child.parameters() == L"--UPDATE \"" + dir + L"\\\"");
    CHECK(scene.context.exitCode == 7);
    CHECK(ThreadWindow(L"Lumivo Main Form") == nullptr);
}

TEST_CASE("an update of a per-user directory installs at once, without relaunch")
{
    AppScene scene;
    isAdmin = false;
    Script.perUserInstall = true; // as the script loader sets it without rights
    std::wstring dir = scene.scratch.path(L"PerUser");
    CreateDirectoryW(dir.c_str(), nullptr);
    CreateDirectoryW((dir + L"\\_de_install.exe").c_str(), nullptr); // a directory is no uninstaller
    StrArray arguments;
    arguments.append(Str(L"::UPDATE"));
    arguments.append(Str(dir.c_str()));
    arguments.append(Str(L"ignored"));
    RecordedRelaunch child(7);
    RunInstaller(arguments);
    CHECK_FALSE(child.ran());
    CHECK(FileExists(dir + L"\\hello.exe"));
    CHECK(scene.context.exitCode == 0);
}

TEST_CASE("without rights: a registered all-users installation or prefer-shared relaunch")
{
    AppScene scene;
    isAdmin = false;
    StrArray none;
    none.makeEmpty();
    SUBCASE("prefer-shared")
    {
        RecordedRelaunch child(0);
        RunInstaller(none);
        REQUIRE(child.ran());
        CHECK(child.parameters().empty());
        CHECK(scene.context.exitCode == 0);
    }
    SUBCASE("a key under HKEY_LOCAL_MACHINE")
    {
        Script.preferShared = false;
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, UninstallKeyPath(Script.programName).text(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
        RecordedRelaunch child(5);
        RunInstaller(none);
        CHECK(child.ran());
        CHECK(scene.context.exitCode == 5);
    }
    SUBCASE("a key under HKEY_CURRENT_USER only shows the window")
    {
        Script.preferShared = false;
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, UninstallKeyPath(Script.programName).text(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
        RecordedRelaunch child(5);
        bool shown = false;
        AnswerAlerts({0});
        RunInModalLoopUntil([&] {
            HWND window = ThreadWindow(L"Lumivo Main Form");
            if (!window)
                return false;
            shown = true;
            PostMessageW(window, WM_COMMAND, CommandExit, 0);
            return true;
        });
        RunInstaller(none);
        CHECK(shown);
        CHECK_FALSE(child.ran());
        CHECK(scene.context.exitCode == 1);
    }
}

TEST_CASE("the relaunch hides its owner, waits and takes the copy's exit code")
{
    AppScene scene;
    MainForm* form = new MainForm();
    RecordedRelaunch child(42);
    RelaunchElevated(form, L"--UPDATE \"C:\\A\\\\\"");
    CHECK(child.parameters() == L"--UPDATE \"C:\\A\\\\\"");
    CHECK(scene.context.exitCode == 42);
    CHECK_FALSE(form->isShown());
    delete form;
}

} // TEST_SUITE
