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
#include "installer/InstallLog.h"
#include "installer/InstallMutex.h"
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
#include <shlobj.h>

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

// As soon as the main form shows: look at it, then press Exit and answer Yes.
void LeaveWindowOnceShown(bool& shown, std::function<void(HWND)> look = {})
{
    AnswerAlerts({0});
    RunInModalLoopUntil([&shown, look] {
        HWND window = ThreadWindow(L"Lumivo Main Form");
        if (!window)
            return false;
        shown = true;
        if (look)
            look(window);
        PostMessageW(window, WM_COMMAND, CommandExit, 0);
        return true;
    });
}

InstallerSwitches Switches(const std::wstring& tail)
{
    return ParseInstallerSwitches((L"setup.exe " + tail).c_str());
}

// Counts the windows that this thread creates while it lives.
struct WindowCounter {
    WindowCounter()
    {
        counter = this;
        hook = SetWindowsHookExW(
            WH_CBT,
            [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
                if (code == HCBT_CREATEWND)
                    counter->created++;
                return CallNextHookEx(nullptr, code, wParam, lParam);
            },
            nullptr, GetCurrentThreadId());
    }
    ~WindowCounter()
    {
        UnhookWindowsHookEx(hook);
        counter = nullptr;
    }
    static WindowCounter* counter;
    HHOOK hook;
    int created = 0;
};
WindowCounter* WindowCounter::counter = nullptr;

bool RegistryKeyPresent(HKEY root)
{
    HKEY key = nullptr;
    bool found = RegOpenKeyExW(root, UninstallKeyPath(Str(L"LumivoAppTest")).text(), 0, KEY_READ, &key) ==
                 ERROR_SUCCESS;
    if (key)
        RegCloseKey(key);
    return found;
}

std::wstring StartMenuLink()
{
    wchar_t folder[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_COMMON_STARTMENU, nullptr, 0, folder);
    return std::wstring(folder) + L"\\LumivoAppTest.lnk";
}

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

TEST_CASE("an update of an all-users installation without rights relaunches with the directory")
{
    AppScene scene;
    isAdmin = false;
    std::wstring dir = scene.scratch.path(L"Installed");
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteWholeFile(dir + L"\\_de_install.exe", "uninstaller");
    RecordedRelaunch child(7);
    RunInstaller(Switches(L"--update " + dir));
    REQUIRE(child.ran());
    CHECK(child.parameters() == L"--UPDATE " + dir);
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
    RecordedRelaunch child(7);
    RunInstaller(Switches(L"::UPDATE \"" + dir + L"\""));
    CHECK_FALSE(child.ran());
    CHECK(FileExists(dir + L"\\hello.exe"));
    CHECK(scene.context.exitCode == 0);
}

TEST_CASE("without rights: a registered all-users installation or prefer-shared relaunch")
{
    AppScene scene;
    isAdmin = false;
    SUBCASE("prefer-shared")
    {
        RecordedRelaunch child(0);
        RunInstaller(Switches(L""));
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
        RunInstaller(Switches(L""));
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
        LeaveWindowOnceShown(shown);
        RunInstaller(Switches(L""));
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

TEST_CASE("/S installs into /D= without creating a window or asking anything")
{
    AppScene scene;
    std::wstring dir = scene.scratch.path(L"Silent Dir\\App");
    CreateDirectoryW(scene.scratch.path(L"Silent Dir").c_str(), nullptr);
    AnswerAlerts({});
    WindowCounter windows;
    SUBCASE("with links")
    {
        RunInstaller(Switches(L"/S /D=" + dir));
        CHECK(windows.created == 0);
        CHECK(SeenAlerts().empty());
        CHECK(scene.context.exitCode == 0);
        CHECK(FileExists(dir + L"\\hello.exe"));
        CHECK(RegistryKeyPresent(HKEY_LOCAL_MACHINE));
        std::wstring link = StartMenuLink();
        CHECK(FileExists(link));
        DeleteFileW(link.c_str());
    }
    SUBCASE("/NOSHORTCUTS")
    {
        RunInstaller(Switches(L"/s /noshortcuts /D=" + dir));
        CHECK(windows.created == 0);
        CHECK(scene.context.exitCode == 0);
        CHECK(FileExists(dir + L"\\hello.exe"));
        CHECK_FALSE(FileExists(StartMenuLink()));
    }
    SUBCASE("a failure is cleaned up and ends with 1603")
    {
        ScriptValues.set(Str(L"copy-files"), Str(L"hello.exe|missing.dll"));
        std::wstring log = scene.scratch.path(L"setup.log");
        OpenInstallLog(Str(log.c_str()));
        RunInstaller(Switches(L"/S /D=" + dir));
        CloseInstallLog();
        // What an alert would have said is in the log.
        CHECK(ReadWholeFile(log).find("The program could not be installed properly.") != std::string::npos);
        CHECK(windows.created == 0);
        CHECK(SeenAlerts().empty());
        CHECK(scene.context.exitCode == 1603);
        CHECK_FALSE(DirectoryExists(dir));
        CHECK(DirectoryExists(scene.scratch.path(L"Silent Dir")));
        CHECK_FALSE(RegistryKeyPresent(HKEY_LOCAL_MACHINE));
    }
    SUBCASE("a script without an executable ends with 3")
    {
        Script.exeFile.release();
        RunInstaller(Switches(L"/S /D=" + dir));
        CHECK(windows.created == 0);
        CHECK(scene.context.exitCode == 3);
        CHECK_FALSE(DirectoryExists(dir));
    }
}

TEST_CASE("bad switches: 87 in silence, an alert otherwise, nothing installed either way")
{
    AppScene scene;
    AnswerAlerts({0});
    WindowCounter windows;
    RunInstaller(Switches(L"/S /QUIET"));
    CHECK(windows.created == 0);
    CHECK(scene.context.exitCode == 87);
    RunInstaller(Switches(L"/S /D=relative\\dir"));
    CHECK(scene.context.exitCode == 87);
    CHECK(SeenAlerts().empty());

    scene.context.exitCode = 1;
    RunInstaller(Switches(L"/QUIET"));
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Unknown switch: /QUIET");
    CHECK(SeenAlerts()[0].title == L"LumivoAppTest Setup");
    CHECK(scene.context.exitCode == 1);
    CHECK_FALSE(DirectoryExists(scene.scratch.path(L"LumivoAppTest")));
    CHECK(ThreadWindow(L"Lumivo Main Form") == nullptr);
}

TEST_CASE("/? shows the switches in an alert of its own")
{
    AppScene scene;
    AnswerAlerts({0});
    RunInstaller(Switches(L"/?"));
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text.find(L"/D=folder") != std::wstring::npos);
    CHECK(SeenAlerts()[0].text.find(L"1618") != std::wstring::npos);
    CHECK(scene.context.exitCode == 0);
    CHECK_FALSE(DirectoryExists(scene.scratch.path(L"LumivoAppTest")));
}

TEST_CASE("a second installation of the same program: 1618 in silence, an alert otherwise")
{
    AppScene scene;
    HANDLE first = CreateMutexW(nullptr, FALSE, InstallMutexName(Script.programName, true).text());
    std::wstring dir = scene.scratch.path(L"Second");
    AnswerAlerts({0});
    RunInstaller(Switches(L"/S /D=" + dir));
    CHECK(scene.context.exitCode == 1618);
    CHECK(SeenAlerts().empty());
    scene.context.exitCode = 1;
    RunInstaller(Switches(L"/D=" + dir));
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Another installation of LumivoAppTest is running. Wait until it has ended.");
    CHECK(scene.context.exitCode == 1);
    CHECK_FALSE(DirectoryExists(dir));
    CloseHandle(first);

    // The installation that runs holds the name until it ends.
    RunInstaller(Switches(L"/S /D=" + dir));
    CHECK(scene.context.exitCode == 0);
    HANDLE after = CreateMutexW(nullptr, FALSE, InstallMutexName(Script.programName, true).text());
    CHECK(GetLastError() != ERROR_ALREADY_EXISTS);
    CloseHandle(after);
    DeleteFileW(StartMenuLink().c_str());
}

TEST_CASE("/ALLUSERS without rights relaunches with the switches; /CURRENTUSER never does")
{
    AppScene scene;
    isAdmin = false;
    SUBCASE("all users")
    {
        Script.preferShared = false;
        RecordedRelaunch child(1603);
        RunInstaller(Switches(L"/S /ALLUSERS /NOSHORTCUTS \"/LOG=C:\\Lo gs\\a.log\" /D=C:\\Program Files\\A B\\"));
        REQUIRE(child.ran());
        CHECK(child.parameters() == L"/S /ALLUSERS /NOSHORTCUTS \"/LOG=C:\\Lo gs\\a.log\" /D=C:\\Program Files\\A B");
        CHECK(scene.context.exitCode == 1603);
    }
    SUBCASE("the current user, as administrator too")
    {
        isAdmin = true;
        Script.perUserInstall = false;
        std::wstring dir = scene.scratch.path(L"Mine");
        RecordedRelaunch child(1603);
        RunInstaller(Switches(L"/S /CURRENTUSER /NOSHORTCUTS /D=" + dir));
        CHECK_FALSE(child.ran());
        CHECK(scene.context.exitCode == 0);
        CHECK(FileExists(dir + L"\\_de_installu.exe"));
        CHECK_FALSE(FileExists(dir + L"\\_de_install.exe"));
        CHECK(RegistryKeyPresent(HKEY_CURRENT_USER));
        CHECK_FALSE(RegistryKeyPresent(HKEY_LOCAL_MACHINE));
    }
    SUBCASE("the current user without rights, prefer-shared or not")
    {
        Script.perUserInstall = true;
        std::wstring dir = scene.scratch.path(L"Mine");
        RecordedRelaunch child(1603);
        RunInstaller(Switches(L"/S /CURRENTUSER /NOSHORTCUTS /D=" + dir));
        CHECK_FALSE(child.ran());
        CHECK(scene.context.exitCode == 0);
        CHECK(RegistryKeyPresent(HKEY_CURRENT_USER));
    }
}

TEST_CASE("/D= proposes the directory in the window")
{
    AppScene scene;
    RunSwitches = Switches(L"/D=C:\\Somewhere Else\\App");
    bool shown = false;
    LeaveWindowOnceShown(shown, [](HWND window) {
        CHECK(WindowText(GetDlgItem(window, DirectoryFieldId)) == L"C:\\Somewhere Else\\App");
    });
    RunInstaller(RunSwitches);
    RunSwitches = InstallerSwitches();
    CHECK(shown);
}

} // TEST_SUITE
