#include "doctest.h"

#include "core/AppContext.h"
#include "core/ShowError.h"
#include "gui/AlertDialog.h"
#include "gui/Button.h"
#include "gui/StaticText.h"
#include "gui/WindowRegistry.h"
#include "support/ModalHelper.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

#include <new>
#include <string>

// A form that keeps what it was asked to show instead of showing it, or fails as told.
class RecordingForm : public Form {
public:
    RecordingForm() : Form(FormMain | FormNoTooltip, L"Recording Form", nullptr, 1) {}
    int32_t alert(const wchar_t* message, const wchar_t* title, const wchar_t* buttonSpec,
                  uint32_t alertFlags) override
    {
        calls++;
        switch (failure) {
        case 1:
            throw Error(5);
        case 2:
            throw std::bad_alloc();
        case 3:
            throw 42;
        }
        shownMessage = message;
        shownTitle = title;
        shownButtons = buttonSpec;
        shownFlags = alertFlags;
        return 0;
    }
    int calls = 0;
    int failure = 0;
    std::wstring shownMessage;
    std::wstring shownTitle;
    std::wstring shownButtons;
    uint32_t shownFlags = 0;
};

// Sets the interface language for one test and puts the previous one back.
struct LanguageScope {
    explicit LanguageScope(int32_t language) : saved(Language) { Language = language; }
    ~LanguageScope() { Language = saved; }
    int32_t saved;
};

TEST_SUITE("showerror") {

TEST_CASE("out of memory has a fixed text, in English and in Polish")
{
    GuiContext context;
    RecordingForm form;
    {
        LanguageScope english(LangEnglish);
        ShowError(&form, L"Title", MemoryError());
        CHECK(form.shownMessage == L"Out of memory. Operation could not be completed.");
        CHECK(form.shownTitle == L"Title");
        CHECK(form.shownButtons == L"+OK");
        CHECK(form.shownFlags == AlertWarning);
        ShowError(&form, L"Title", Error(14));
        CHECK(form.shownMessage == L"Out of memory. Operation could not be completed.");
    }
    {
        LanguageScope polish(LangPolish);
        ShowError(&form, L"Tytuł", Error(8));
        CHECK(form.shownMessage == L"Brak pamięci. Operacja nie może być wykonana.");
        CHECK(form.shownTitle == L"Tytuł");
    }
}

TEST_CASE("the error's message, and the default title for a missing or empty one")
{
    GuiContext context;
    RecordingForm form;
    {
        LanguageScope english(LangEnglish);
        ShowError(&form, L"", WinError(2, L"a.txt"));
        CHECK(form.shownMessage == L"\"a.txt\" not found.");
        CHECK(form.shownTitle == L"Error - Lumivo");
        ShowError(&form, nullptr, CheckFailed(L"CheckInt(int64)"));
        CHECK(form.shownMessage == L"Error number -7.");
        CHECK(form.shownTitle == L"Error - Lumivo");
    }
    {
        LanguageScope polish(LangPolish);
        ShowError(&form, L"", WinError(2, L"a.txt"));
        CHECK(form.shownMessage == L"Nie znalazłem \"a.txt\".");
        CHECK(form.shownTitle == L"Problem - Lumivo");
        ShowError(&form, nullptr, WinError(2, L"b.txt"));
        CHECK(form.shownTitle == L"Problem - Lumivo");
    }
    CHECK(form.calls == 4);
}

TEST_CASE("a failure inside the alert leaves the caller running")
{
    {
        GuiContext context;
        RecordingForm form;
        for (int failure = 1; failure <= 3; failure++) {
            CAPTURE(failure);
            form.failure = failure;
            CHECK_NOTHROW(ShowError(&form, L"Title", WinError(5, L"x")));
        }
        CHECK(form.calls == 3);
    }
    // no application context on the thread: the alert cannot even be created
    CHECK_NOTHROW(ShowError(nullptr, L"Title", WinError(2, L"x")));
}

TEST_CASE("a real alert: the message in a warning owned by the form, or by no window")
{
    GuiContext context;
    LanguageScope english(LangEnglish);
    Form owner(FormMain, L"Error Owner", nullptr, 1);
    owner.setBounds(100, 100, 600, 500);
    owner.show();
    std::wstring shown;
    bool ownedByForm = false;
    uint32_t iconId = 0;
    RunInModalLoopUntil([&] {
        AlertDialog* alert = dynamic_cast<AlertDialog*>(FindWindowObject(GetActiveWindow()));
        if (!alert)
            return false; // not active yet
        shown = alert->messageControl->getText().text();
        ownedByForm = alert->owner() == &owner && !IsWindowEnabled(owner.hwnd);
        iconId = alert->iconId;
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
        return true;
    });
    ShowError(&owner, nullptr, WinError(2, L"setup.dat"));
    CancelModalLoopCallbacks();
    CHECK(shown == L"\"setup.dat\" not found.");
    CHECK(ownedByForm);
    CHECK(iconId == 32515); // the warning icon
    CHECK(IsWindowEnabled(owner.hwnd));

    std::wstring title;
    RunWhenDialogActive([&] {
        HWND active = GetActiveWindow();
        wchar_t text[64] = {};
        GetWindowTextW(active, text, 64);
        title = text;
        CHECK(GetWindow(active, GW_OWNER) == nullptr);
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
    });
    ShowError(nullptr, L"", Error(-300, L"data.bin"));
    CancelModalLoopCallbacks();
    CHECK(title == L"Error - Lumivo");
}

TEST_CASE("an alert that fails while it runs is dropped, and the owner works again")
{
    GuiContext context;
    Form owner(FormMain, L"Error Owner", nullptr, 1);
    owner.show();
    HWND holder = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(OpenClipboard(holder)); // Ctrl+C in the alert then fails
    RunWhenDialogActive([] {
        SetControlKey(true);
        PostMessageW(GetFocus(), WM_KEYDOWN, 'C', 1);
    });
    // A later Enter would close the alert too; the failure must have closed it before.
    static bool enterPressed;
    enterPressed = false;
    RunInModalLoop(
        [] {
            enterPressed = true;
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
        },
        3000);
    CHECK_NOTHROW(ShowError(&owner, L"Title", WinError(5, L"locked.txt")));
    SetControlKey(false);
    CHECK_FALSE(enterPressed); // ended by the failure, not by the later Enter
    CancelModalLoopCallbacks();
    CloseClipboard();
    DestroyWindow(holder);
    CHECK(IsWindowEnabled(owner.hwnd));
    CHECK(!owner.isDisabledByModal());
}

} // TEST_SUITE
