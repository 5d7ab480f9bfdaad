#include "doctest.h"

#include "gui/AlertDialog.h"
#include "gui/AlertText.h"
#include "gui/Button.h"
#include "gui/Color.h"
#include "gui/Dpi.h"
#include "gui/Mnemonic.h"
#include "gui/StaticIcon.h"
#include "gui/StaticText.h"
#include "gui/WindowRegistry.h"
#include "support/AccessibleProbe.h"
#include "support/ModalHelper.h"
#include "tests/gui/GuiTestSupport.h"

#include <oleacc.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

typedef std::vector<std::function<void()>> Steps;

// Runs the alert; the steps run from inside its loop, one after the other, each once the alert is
// the active window and the messages the step before posted are handled (a timer's tick comes only
// when no posted message waits). A watchdog ends a loop that nothing ended (the result is then -1).
static int32_t RunAlert(AlertDialog& alert, const Steps& steps)
{
    size_t next = 0;
    RunInModalLoopUntil([&alert, &steps, &next] {
        if (next < steps.size() && GetActiveWindow() == alert.hwnd && alert.hwnd)
            steps[next++]();
        return next >= steps.size();
    });
    RunInModalLoop([&alert] { alert.quitLoop(); }, 60000);
    int32_t result = -2;
    try {
        result = alert.run();
    } catch (...) {
        CancelModalLoopCallbacks();
        throw;
    }
    CancelModalLoopCallbacks();
    return result;
}

static int32_t RunButtons(const wchar_t* buttons, const Steps& steps, Form* owner = nullptr)
{
    AlertDialog alert(owner, Str(L"Message"), L"Title", buttons, AlertQuestion);
    return RunAlert(alert, steps);
}

// The toolkit object of the active window, if it is an alert.
static AlertDialog* ActiveAlert()
{
    return dynamic_cast<AlertDialog*>(FindWindowObject(GetActiveWindow()));
}

static std::function<void()> Key(WPARAM key)
{
    return [key] {
        LPARAM scan = 1 | (static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16);
        PostMessageW(GetFocus(), WM_KEYDOWN, key, scan);
    };
}

static std::function<void()> CloseBox()
{
    return [] { PostMessageW(GetActiveWindow(), WM_SYSCOMMAND, SC_CLOSE, 0); };
}

static std::function<void()> Command(uint32_t id)
{
    return [id] { PostMessageW(GetActiveWindow(), WM_COMMAND, MAKEWPARAM(id, 0), 0); };
}

static std::function<void()> Click(int index)
{
    return [index] {
        AlertDialog* alert = ActiveAlert();
        REQUIRE(alert != nullptr);
        alert->buttons[index]->send(BM_CLICK, 0, 0);
    };
}

// A key pressed on the keyboard (through the system's input), with a modifier held around it.
static std::function<void()> RealKey(WORD key, WORD modifier = 0)
{
    return [key, modifier] {
        AlertDialog* alert = ActiveAlert();
        REQUIRE(alert != nullptr);
        CHECK(modifier ? PressKey(*alert, key, {modifier}) : PressKey(*alert, key));
    };
}

// A step that checks the alert is still open and nothing was chosen.
static std::function<void()> StillOpen()
{
    return [] {
        AlertDialog* alert = ActiveAlert();
        REQUIRE(alert != nullptr);
        CHECK(alert->resultId == -1);
        CHECK(IsWindowVisible(alert->hwnd));
    };
}

static bool CloseGreyed(AlertDialog& alert)
{
    UINT state = GetMenuState(GetSystemMenu(alert.hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED);
}

static std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"(clipboard not open)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        const wchar_t* units = static_cast<const wchar_t*>(GlobalLock(data));
        if (units)
            text = units;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

static const wchar_t Rule[] = L"---------------------------\r\n";

TEST_SUITE("alert") {

TEST_CASE("buttons texts: markers, ids, captions and the malformed ones")
{
    AlertButtons ok = ParseAlertButtons(L"+OK");
    CHECK(ok.count == 1);
    CHECK(ok.ids[0] == IDOK);
    CHECK(ok.captions[0] == L"OK");
    CHECK(ok.defaultIndex == 0);

    AlertButtons retry = ParseAlertButtons(L"+Retry|-Cancel");
    CHECK(retry.count == 2);
    CHECK(retry.ids[1] == IDCANCEL);
    CHECK(retry.captions[1] == L"Cancel");
    CHECK(retry.cancelIndex == 1);

    AlertButtons plain = ParseAlertButtons(L"Yes|No");
    CHECK(plain.ids[0] == 50);
    CHECK(plain.ids[1] == 51);
    CHECK(plain.defaultIndex == -1);
    CHECK(plain.cancelIndex == -1);

    AlertButtons trailing = ParseAlertButtons(L"OK+");
    CHECK(trailing.captions[0] == L"OK+");
    CHECK(trailing.ids[0] == 50);
    AlertButtons inside = ParseAlertButtons(L"a-b|c+d|-e+");
    CHECK(inside.captions[0] == L"a-b");
    CHECK(inside.captions[2] == L"e+");
    CHECK(inside.ids[2] == IDCANCEL);

    AlertButtons lone = ParseAlertButtons(L"Yes|");
    CHECK(lone.count == 1);
    CHECK(lone.captions[0] == L"Yes");
    CHECK(ParseAlertButtons(L"a|b|c|d").count == 4);

    CHECK_THROWS_AS(ParseAlertButtons(L"a|b|c|d|e"), InternalError);
    CHECK_THROWS_AS(ParseAlertButtons(L"a||b"), InternalError);
    CHECK_THROWS_AS(ParseAlertButtons(L"|a"), InternalError);
    CHECK_THROWS_AS(ParseAlertButtons(L"a||"), InternalError);
    CHECK_THROWS_AS(ParseAlertButtons(L""), InternalError);
    CHECK_THROWS_AS(ParseAlertButtons(nullptr), InternalError);
    CHECK_THROWS_AS(ParseAlertButtons(L"+Yes|+No"), InternalError); // one id for two buttons
    CHECK_THROWS_AS(ParseAlertButtons(L"-Yes|-No"), InternalError);
}

TEST_CASE("a malformed buttons text fails while the alert is built, and leaves no window")
{
    GuiContext context;
    Form owner(FormMain, L"Alert Owner", nullptr, 1);
    CHECK_THROWS_AS(owner.alert(L"Text", L"Malformed alert", L"A|B|C|D|E", AlertError), InternalError);
    CHECK(FindWindowW(L"Lumivo Dialog", L"Malformed alert") == nullptr);
    CHECK(IsWindowEnabled(owner.hwnd));
}

TEST_CASE("+OK: one default button that also cancels")
{
    GuiContext context;
    {
        AlertDialog alert(nullptr, Str(L"Message"), L"Title", L"+OK", AlertInformation);
        CHECK(alert.defaultIndex == 0);
        CHECK(alert.cancelIndex == 0);
        CHECK(alert.focusButton == alert.buttons[0]);
        CHECK(alert.buttons[0]->id() == IDOK);
        CHECK(!CloseGreyed(alert));
        CHECK(alert.id() == AlertFormId);
        CHECK(alert.getText() == L"Title");
        CHECK(RunAlert(alert, {Key(VK_RETURN)}) == 0);
        CHECK(alert.resultId == IDOK);
    }
    CHECK(RunButtons(L"+OK", {Key(VK_ESCAPE)}) == 0);
    CHECK(RunButtons(L"+OK", {CloseBox()}) == 0);
    CHECK(RunButtons(L"+OK", {Click(0)}) == 0);
}

TEST_CASE("+Retry|-Cancel: Enter retries, Esc and the close box cancel")
{
    GuiContext context;
    CHECK(RunButtons(L"+Retry|-Cancel", {[] { CHECK(GetFocus() == ActiveAlert()->buttons[0]->hwnd); },
                                      Key(VK_RETURN)}) == 0);
    CHECK(RunButtons(L"+Retry|-Cancel", {Key(VK_ESCAPE)}) == 1);
    CHECK(RunButtons(L"+Retry|-Cancel", {CloseBox()}) == 1);
    CHECK(RunButtons(L"+Retry|-Cancel", {Click(0)}) == 0);
    CHECK(RunButtons(L"+Retry|-Cancel", {Click(1)}) == 1);
    CHECK(RunButtons(L"+Retry|-Cancel", {Command(IDCANCEL)}) == 1);
}

TEST_CASE("two plain buttons: only the buttons end the alert; Close is grey")
{
    GuiContext context;
    Form owner(FormMain, L"Alert Owner", nullptr, 1);
    owner.setBounds(100, 100, 600, 500);
    owner.show();
    {
        AlertDialog alert(&owner, Str(L"Message"), L"Title", L"Yes|No", AlertQuestion);
        CHECK(CloseGreyed(alert));
        CHECK(alert.focusButton == alert.buttons[0]);
        CHECK(alert.buttons[0]->id() == 50);
        CHECK(alert.buttons[1]->id() == 51);
        Steps ignored = {Command(IDOK),   Command(IDCANCEL), CloseBox(),   Key(VK_RETURN), Key(VK_ESCAPE),
                         [] { PostMessageW(GetActiveWindow(), WM_CLOSE, 0, 0); },
                         Command(52),     Command(7), // commands of no button of this alert
                         StillOpen(),     [&owner] { CHECK(!IsWindowEnabled(owner.hwnd)); },
                         Click(1)};
        CHECK(RunAlert(alert, ignored) == 1);
        CHECK(alert.resultId == 51);
    }
    CHECK(IsWindowEnabled(owner.hwnd));
    CHECK(RunButtons(L"Yes|No", {Click(0)}, &owner) == 0);
    CHECK(RunButtons(L"Yes|No", {Command(51)}, &owner) == 1);
}

TEST_CASE("a missing default or cancel button: its command, Enter or Esc does nothing")
{
    GuiContext context;
    // "OK+" is a plain button: the "+" is part of its caption
    {
        AlertDialog alert(nullptr, Str(L"Message"), L"Title", L"OK+", AlertPlain);
        CHECK(alert.buttons[0]->getText() == L"&OK+"); // a mnemonic of its own, like every button
        CHECK(alert.buttons[0]->id() == 50);
        CHECK(alert.iconControl == nullptr);
        CHECK(RunAlert(alert, {Key(VK_RETURN), Key(VK_ESCAPE), CloseBox(), StillOpen(), Click(0)}) == 0);
    }
    CHECK(RunButtons(L"+Yes|No", {Command(IDCANCEL), CloseBox(), Key(VK_ESCAPE), StillOpen(), Key(VK_RETURN)}) ==
          0);
    CHECK(RunButtons(L"+Yes|No", {Click(1)}) == 1);
    CHECK(RunButtons(L"Go|-Stop", {Command(IDOK), Key(VK_RETURN), StillOpen(), Key(VK_ESCAPE)}) == 1);
    CHECK(RunButtons(L"Yes|", {Click(0)}) == 0);
    CHECK(RunButtons(L"Yes|No", {StillOpen()}) == -1); // ended by the watchdog's quitLoop: no button
}

TEST_CASE("Form::alert shows the message over its disabled owner; alertPieces joins the pieces")
{
    GuiContext context;
    Form owner(FormMain, L"Alert Owner", nullptr, 1);
    owner.setBounds(100, 100, 600, 500);
    owner.show();
    std::wstring shown;
    RunInModalLoopUntil([&] {
        AlertDialog* alert = ActiveAlert();
        if (!alert)
            return false; // not active yet
        CHECK(!IsWindowEnabled(owner.hwnd));
        CHECK(alert->owner() == &owner);
        CHECK(GetWindow(alert->hwnd, GW_OWNER) == owner.hwnd);
        shown = alert->messageControl->getText().text();
        alert->buttons[1]->send(BM_CLICK, 0, 0);
        return true;
    });
    const wchar_t* pieces[] = {L"File ", L"\"a.txt\"", L" is in use.", nullptr};
    CHECK(owner.alertPieces(pieces, L"Title", L"+Retry|-Cancel", AlertWarning) == 1);
    CHECK(shown == L"File \"a.txt\" is in use.");
    CHECK(IsWindowEnabled(owner.hwnd));
    CancelModalLoopCallbacks();

    // an alert of its own, for programs without a form
    RunWhenDialogActive([] { Key(VK_RETURN)(); });
    CHECK(ShowAlert(nullptr, L"No owner", L"Title", L"+OK", AlertInformation) == 0);
    CancelModalLoopCallbacks();
}

TEST_CASE("a message longer than 60 average characters wraps; the alert is as narrow as it allows")
{
    GuiContext context;
    std::wstring message;
    for (int i = 0; i < 30; i++)
        message += L"several words ";
    AlertDialog alert(nullptr, Str(message.c_str()), L"Title", L"+OK", AlertWarning);
    alert.loadAlertIcon(alert.dpi()); // the monitor's
    alert.fitToContent();
    alert.fitToContent(); // as runModal does: the first fit of a window without a size misses its frame

    DrawContext measure = alert.windowDC();
    measure.selectFont(alert.normalFont());
    int32_t wrap = alert.messageControl->wrapPixels(measure);
    SIZE alphabet = measure.textExtent(L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52);
    CHECK(wrap == (alphabet.cx + 26) * 60 / 52);
    RECT text = alert.messageControl->windowRect();
    int32_t textWidth = text.right - text.left;
    CHECK(textWidth <= wrap);
    CHECK(textWidth > wrap * 3 / 4);
    CHECK(text.bottom - text.top >= 3 * measure.lineHeight());

    // margins 8 and 16 on each side, the icon and 16 between it and the text, at the DPI
    RECT client = alert.clientRect();
    CHECK(client.right == 2 * alert.scaled(8) + 2 * alert.scaled(16) + alert.iconControl->iconWidth +
                              alert.scaled(16) + textWidth);
    CHECK(client.right == alert.content->sizeLimits().minWidth);

    AlertDialog narrow(nullptr, Str(L"Short."), L"Title", L"+Yes|-No", AlertWarning);
    narrow.loadAlertIcon(narrow.dpi());
    narrow.fitToContent();
    narrow.fitToContent();
    CHECK(narrow.clientRect().right < client.right);
    CHECK(narrow.clientRect().right == narrow.content->sizeLimits().minWidth);
}

TEST_CASE("icons by kind, reloaded at the new size when the DPI changes")
{
    GuiContext context;
    const uint32_t icons[] = {0, 32515, 32513, 32514, 32516, 0, 0, 0};
    for (uint32_t kind = 0; kind < 8; kind++) {
        CAPTURE(kind);
        AlertDialog alert(nullptr, Str(L"Message"), L"Title", L"+OK", kind | 0x100);
        CHECK(alert.iconId == icons[kind]);
        CHECK((alert.iconControl != nullptr) == (icons[kind] != 0));
    }

    AlertDialog alert(nullptr, Str(L"Message"), L"Title", L"+OK", AlertError);
    alert.loadAlertIcon(96);
    int screen = static_cast<int>(SystemDpi());
    CHECK(alert.iconControl->iconWidth == MulDiv(GetSystemMetrics(SM_CXICON), 96, screen));
    REQUIRE(alert.iconControl->icon != nullptr);
    CHECK(reinterpret_cast<HICON>(alert.iconControl->send(STM_GETICON, 0, 0)) == alert.iconControl->icon);

    alert.fitToContent();
    RECT before = alert.windowRect();
    RECT suggested = {before.left, before.top, before.left + (before.right - before.left) * 3 / 2,
                      before.top + (before.bottom - before.top) * 3 / 2};
    alert.send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    CHECK(alert.dpi() == 144);
    CHECK(alert.iconControl->iconWidth == MulDiv(GetSystemMetrics(SM_CXICON), 144, screen));
    CHECK(alert.iconControl->iconHeight == MulDiv(GetSystemMetrics(SM_CYICON), 144, screen));
    RECT iconAt = alert.iconControl->windowRect();
    CHECK(iconAt.right - iconAt.left == alert.iconControl->iconWidth);
}

TEST_CASE("the static controls sit on the window colour, the buttons on the button face")
{
    GuiContext context;
    AlertDialog alert(nullptr, Str(L"Message"), L"Title", L"+OK", AlertInformation);
    HDC screen = GetDC(nullptr);
    LRESULT brush = alert.send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(screen),
                               reinterpret_cast<LPARAM>(alert.messageControl->hwnd));
    CHECK(brush == reinterpret_cast<LRESULT>(alert.windowBrush.brush()));
    CHECK(GetBkColor(screen) == GetSysColor(COLOR_WINDOW));
    CHECK(GetTextColor(screen) == GetSysColor(COLOR_WINDOWTEXT));
    ReleaseDC(nullptr, screen);

    RunAlert(alert, {[&alert] {
                         alert.update();
                         RECT client = alert.clientRect();
                         DrawContext measure = alert.windowDC();
                         measure.selectFont(alert.normalFont());
                         int32_t split = client.bottom - measure.textExtent(L"O", 1).cy - alert.scaled(30);
                         HDC dc = GetDC(alert.hwnd);
                         CHECK(GetPixel(dc, 1, 1) == GetSysColor(COLOR_WINDOW));
                         CHECK(GetPixel(dc, 1, split - 1) == GetSysColor(COLOR_WINDOW));
                         CHECK(GetPixel(dc, 1, split) ==
                               BlendColor(GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNFACE), 80));
                         CHECK(GetPixel(dc, 1, split + 1) == GetSysColor(COLOR_BTNFACE));
                         CHECK(GetPixel(dc, 1, client.bottom - 1) == GetSysColor(COLOR_BTNFACE));
                         ReleaseDC(alert.hwnd, dc);
                     },
                     Click(0)});
}

TEST_CASE("line breaks are normalised to CR LF")
{
    CHECK(NormalizeLineBreaks(Str(L"a\r\nb")) == L"a\r\nb");
    CHECK(NormalizeLineBreaks(Str(L"a\rb\nc")) == L"a\r\nb\r\nc");
    CHECK(NormalizeLineBreaks(Str(L"\n\r")) == L"\r\n\r\n");
    CHECK(NormalizeLineBreaks(Str(L"a\r\r\n")) == L"a\r\n\r\n");
    CHECK(NormalizeLineBreaks(Str(L"x\0y", 3)) == L"x\r\ny");
    CHECK(NormalizeLineBreaks(Str()) == L"");
}

TEST_CASE("Ctrl+C copies title, message and captions in the fixed layout")
{
    GuiContext context;
    Str message(L"one\rtwo\nthree\r\nfour\0five", 24);
    AlertDialog alert(nullptr, message, L"Question", L"+Yes|-No", AlertQuestion);
    std::wstring expected = std::wstring(Rule) + L"Question\r\n" + Rule +
                            L"one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n" + Rule + L"Yes   No\r\n" + Rule;
    CHECK(std::wstring(alert.clipboardText().text()) == expected);

    std::wstring copied;
    SIZE_T blockSize = 0;
    int32_t result = RunAlert(alert, {[] {
                                          SetControlKey(true);
                                          PostMessageW(GetFocus(), WM_KEYDOWN, 'C', 1);
                                      },
                                      [&] {
                                          SetControlKey(false);
                                          copied = ClipboardText();
                                          if (OpenClipboard(nullptr)) {
                                              blockSize = GlobalSize(GetClipboardData(CF_UNICODETEXT));
                                              CloseClipboard();
                                          }
                                      },
                                      StillOpen(), Key(VK_ESCAPE)});
    SetControlKey(false);
    CHECK(result == 1);
    CHECK(copied == expected);
    CHECK(blockSize >= 2 * expected.size() + 2);

    // plain C without Ctrl copies nothing
    RunButtons(L"+OK", {[] {
                         SetControlKey(false);
                         if (OpenClipboard(nullptr)) {
                             EmptyClipboard();
                             CloseClipboard();
                         }
                         PostMessageW(GetFocus(), WM_KEYDOWN, 'C', 1);
                     },
                     [] { CHECK(ClipboardText().empty()); }, Key(VK_RETURN)});
}

TEST_CASE("a clipboard that cannot be opened ends the alert with the error; the owner comes back")
{
    GuiContext context;
    Form owner(FormMain, L"Alert Owner", nullptr, 1);
    owner.show();
    HWND holder = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(OpenClipboard(holder));
    RunWhenDialogActive([] {
        SetControlKey(true);
        PostMessageW(GetFocus(), WM_KEYDOWN, 'C', 1);
    });
    RunInModalLoop([] { Key(VK_RETURN)(); }, 3000); // only if the copy did not fail
    bool failed = false;
    try {
        owner.alert(L"Message", L"Title", L"+OK", AlertError);
    } catch (const Error&) {
        failed = true;
    }
    SetControlKey(false);
    CancelModalLoopCallbacks();
    CloseClipboard();
    DestroyWindow(holder);
    CHECK(failed);
    CHECK(IsWindowEnabled(owner.hwnd));
    CHECK(!owner.isDisabledByModal());
    CHECK(FindWindowW(L"Lumivo Dialog", L"Title") == nullptr);
}

TEST_CASE("mnemonics: the first free letter of each caption that has none")
{
    Str captions[4] = {Str(L"Zainstaluj"), Str(L"Aktualizuj"), Str(L"Napraw"), Str(L"Anuluj")};
    AddMnemonics(captions, 4);
    CHECK(captions[0] == L"&Zainstaluj");
    CHECK(captions[1] == L"&Aktualizuj");
    CHECK(captions[2] == L"&Napraw");
    CHECK(captions[3] == L"An&uluj"); // A and n are taken

    Str given[3] = {Str(L"Save && go"), Str(L"&Stop"), Str(L"S")};
    AddMnemonics(given, 3);
    CHECK(given[0] == L"S&ave && go"); // S is Stop's; "&&" stays a plain ampersand
    CHECK(given[1] == L"&Stop");
    CHECK(given[2] == L"S"); // its only letter is taken
    CHECK(MnemonicOf(Str(L"R&&D")) == 0);
    CHECK(MnemonicOf(Str(L"&Tak")) == L't');
    CHECK(MnemonicOf(Str(L"Ni&E")) == L'e');
}

TEST_CASE("real keys: a button's letter, Alt with it, Enter and Esc")
{
    GuiContext context;
    {
        AlertDialog alert(nullptr, Str(L"Message"), L"Title", L"+Zainstaluj|Aktualizuj|Napraw|-Anuluj",
                          AlertQuestion);
        CHECK(alert.buttons[3]->getText() == L"An&uluj");
        CHECK(RunAlert(alert, {RealKey('N')}) == 2);
    }
    CHECK(RunButtons(L"+Zainstaluj|Aktualizuj|Napraw|-Anuluj", {RealKey('U', VK_MENU)}) == 3);
    CHECK(RunButtons(L"+Retry|-Cancel", {RealKey(VK_RETURN)}) == 0);
    CHECK(RunButtons(L"+Retry|-Cancel", {RealKey(VK_ESCAPE)}) == 1);
    // Tab moves to the next button, Enter presses the focused one
    CHECK(RunButtons(L"+Yes|No|-Cancel", {RealKey(VK_TAB), RealKey(VK_RETURN)}) == 1);
    CHECK(RunButtons(L"+Yes|No|-Cancel", {RealKey(VK_TAB, VK_SHIFT), RealKey(VK_SPACE)}) == 2);
}

TEST_CASE("a screen reader meets the alert as a dialog named by its title, the message its description")
{
    GuiContext context;
    AlertDialog alert(nullptr, Str(L"The disk is full.\nFree some room and retry."), L"Lumivo",
                      L"+Retry|-Cancel", AlertWarning);
    AccessibleAnswers answers;
    RunAlert(alert, {[&] { answers = ReadAccessible(alert.hwnd); }, Click(1)});
    if (!answers.available) {
        MESSAGE("no accessibility library on this system");
        return;
    }
    CHECK(answers.role == ROLE_SYSTEM_DIALOG);
    CHECK(answers.name == L"Lumivo");
    CHECK(answers.description == L"The disk is full.\nFree some room and retry.");
}

} // TEST_SUITE
