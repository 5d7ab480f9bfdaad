// The installer without a mouse: keys pressed through the system's input, and what a screen reader
// is told.
#include "doctest.h"

#include "gui/Mnemonic.h"
#include "gui/WindowRegistry.h"
#include "installer/LicenceDialog.h"
#include "installer/MainForm.h"
#include "script/InstallScript.h"
#include "support/AccessibleProbe.h"
#include "support/AlertAnswers.h"
#include "support/ModalHelper.h"
#include "support/TestFiles.h"
#include "tests/app/AppScene.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The main form with every control it can have, shown and in the foreground.
MainForm* FullMainForm()
{
    Script.desktopText = L"yes";
    Script.offerAllUsers = true;
    MainForm* form = new MainForm();
    SetForegroundWindow(form->handle());
    return form;
}

bool Beside(const RECT& a, const RECT& b)
{
    return a.top < b.bottom && b.top < a.bottom;
}

} // namespace

TEST_SUITE("keyboard") {

TEST_CASE("Tab visits every control in the order it is seen; each has a letter of its own")
{
    AppScene scene;
    for (int32_t language : {LangEnglish, LangPolish}) {
        CAPTURE(language);
        Language = language;
        MainForm* form = FullMainForm();
        HWND window = form->handle();
        REQUIRE(GetFocus() == GetDlgItem(window, CommandInstall));

        // From the directory field on, one Tab after the other, until the focus comes back.
        SetFocus(GetDlgItem(window, DirectoryFieldId));
        std::vector<HWND> visited = {GetFocus()};
        for (int i = 0; i < 12; i++) {
            REQUIRE(PressKey(*form, VK_TAB));
            if (GetFocus() == visited[0])
                break;
            visited.push_back(GetFocus());
        }
        std::vector<uint32_t> ids;
        for (HWND control : visited)
            ids.push_back(static_cast<uint32_t>(GetDlgCtrlID(control)));
        CHECK(ids == std::vector<uint32_t>{DirectoryFieldId, CommandBrowse, StartMenuBoxId, DesktopBoxId,
                                           CommandInstall, CommandAllUsers, CommandLicence, CommandExit});
        // Each one lies right of the one before in the same row, or lower down.
        for (size_t i = 1; i < visited.size(); i++) {
            RECT before, now;
            GetWindowRect(visited[i - 1], &before);
            GetWindowRect(visited[i], &now);
            CAPTURE(i);
            CHECK((Beside(before, now) ? now.left >= before.right : now.top >= before.bottom));
        }

        // Every button, check box and the directory's label: one mnemonic each, none shared.
        std::set<int32_t> letters;
        int marked = 0;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            std::wstring text = WindowText(child);
            wchar_t kind[16];
            GetClassNameW(child, kind, 16);
            if (!IsWindowVisible(child) || text.empty() || lstrcmpiW(kind, L"Edit") == 0 ||
                text == Tr(L"Utwórz skróty:", L"Create shortcuts:"))
                continue;
            CAPTURE(text);
            int32_t letter = MnemonicOf(Str(text.c_str()));
            CHECK(letter != 0);
            CHECK(letters.insert(letter).second);
            marked++;
        }
        CHECK(marked == 8);
        delete form;
    }
}

TEST_CASE("keys alone: the directory's letter, a check box's letter, Esc asks, Enter installs")
{
    AppScene scene;
    MainForm* form = FullMainForm();
    HWND window = form->handle();

    REQUIRE(PressKey(*form, 'D', {VK_MENU})); // "Install &directory:"
    CHECK(GetFocus() == GetDlgItem(window, DirectoryFieldId));
    REQUIRE(PressKey(*form, 'O', {VK_MENU})); // "&on Desktop"
    CHECK(SendMessageW(GetDlgItem(window, DesktopBoxId), BM_GETCHECK, 0, 0) == BST_CHECKED);
    CHECK(Script.desktopShortcut == false); // the form takes it only on Install

    AnswerAlerts({1}); // No
    REQUIRE(PressKey(*form, VK_ESCAPE));
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Do you want to cancel the program installation?");
    CHECK(form->isShown());

    // Enter in the directory field presses the default button: Install.
    AnswerAlerts({0});
    SetFocus(GetDlgItem(window, DirectoryFieldId));
    REQUIRE(PressKey(*form, VK_RETURN));
    CHECK(scene.context.exitCode == 0);
    CHECK(Script.desktopShortcut);
    CHECK(FileExists(scene.scratch.path(L"LumivoAppTest\\hello.exe")));
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text == L"Installation completed successfully.");
    delete form;
}

TEST_CASE("the licence window: opened with its letter, its text field named for a screen reader, Esc closes")
{
    AppScene scene;
    for (int32_t language : {LangEnglish, LangPolish}) {
        CAPTURE(language);
        Language = language;
        MainForm* form = FullMainForm();
        AccessibleAnswers field;
        bool opened = false;
        RunInModalLoopUntil([&] {
            HWND dialog = ThreadWindow(L"Lumivo Dialog");
            if (!dialog)
                return false;
            opened = true;
            field = ReadAccessible(GetDlgItem(dialog, LicenceTextId));
            SendKey(VK_ESCAPE);
            return true;
        });
        SendKey('L', {VK_MENU}); // "&Licence" / "&Licencja"
        REQUIRE(PumpFormUntil(*form, [&] { return opened && !ThreadWindow(L"Lumivo Dialog"); }));
        CHECK(IsWindowEnabled(form->handle()));
        if (field.available)
            CHECK(field.name == std::wstring(Tr(L"Licencja", L"Licence")));
        else
            MESSAGE("no accessibility library on this system");
        delete form;
    }
}

} // TEST_SUITE
