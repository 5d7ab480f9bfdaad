#include "doctest.h"

#include "gui/Dialog.h"
#include "gui/ElasticGroup.h"
#include "gui/Space.h"
#include "gui/WorkArea.h"
#include "support/ModalHelper.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

#include <vector>

// An owner form that catches the help requests its dialogs pass on.
class HelpOwner : public Form {
public:
    HelpOwner() : Form(FormMain, L"Help Owner", nullptr, 1) {}
    void defaultProc(MessageRecord& record) override
    {
        if (record.message == WM_HELP)
            helpId = reinterpret_cast<HELPINFO*>(record.lParam)->iCtrlId;
        Form::defaultProc(record);
    }
    bool reportError(const Error& error) override
    {
        reported = error.code;
        return true;
    }
    int helpId = 0;
    int32_t reported = 0;
};

static SIZE ClientSize(Form& form)
{
    RECT client = form.clientRect();
    return SIZE{client.right, client.bottom};
}

static SIZE WindowSize(Form& form)
{
    RECT outer = form.windowRect();
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

// Windows hidden by a hide step (SWP_HIDEWINDOW), which Wine's X11 driver makes wait up to two
// seconds for a window manager; the ending of a dialog and of a shown window need none.
static std::vector<HWND> HiddenWindows;

static LRESULT CALLBACK NoteHides(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_WINDOWPOSCHANGING &&
        (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_HIDEWINDOW))
        HiddenWindows.push_back(message->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_SUITE("dialog") {

TEST_CASE("a dialog takes its content's size, capped at 400 x 300 at 96 DPI")
{
    GuiContext context;
    Form owner(FormMain, L"Size Owner", nullptr, 1);
    owner.setBounds(200, 200, 800, 700);

    Dialog fixed(&owner, 10, L"Fixed");
    new Space(new ElasticGroup(Vertical, &fixed), 200, 100);
    fixed.rebuildFonts(96);
    fixed.placeForContent();
    CHECK(ClientSize(fixed).cx == 200);
    CHECK(ClientSize(fixed).cy == 100);
    fixed.rebuildFonts(144);
    fixed.placeForContent();
    CHECK(ClientSize(fixed).cx == 300);
    CHECK(ClientSize(fixed).cy == 150);

    Dialog elastic(&owner, 11, L"Elastic");
    new Probe(&elastic, SizeLimits{0, 0, Unbounded, Unbounded});
    elastic.rebuildFonts(96);
    elastic.placeForContent();
    CHECK(WindowSize(elastic).cx == 400);
    CHECK(WindowSize(elastic).cy == 300);
    elastic.rebuildFonts(144);
    elastic.placeForContent();
    CHECK(WindowSize(elastic).cx == 600);
    CHECK(WindowSize(elastic).cy == 450);

    Dialog large(&owner, 12, L"Large");
    new Space(new ElasticGroup(Vertical, &large), 500, 350);
    large.fitToContent(); // at the monitor's DPI
    int scale = static_cast<int>(large.dpi());
    CHECK(ClientSize(large).cx == MulDiv(500, scale, 96));
    CHECK(ClientSize(large).cy == MulDiv(350, scale, 96));
}

TEST_CASE("a dialog is centred on its owner and kept in the work area")
{
    GuiContext context;
    Form owner(FormMain, L"Place Owner", nullptr, 1);
    owner.setBounds(300, 200, 700, 600);
    Dialog dialog(&owner, 10, L"Centred");
    new Space(new ElasticGroup(Vertical, &dialog), 100, 60);
    dialog.fitToContent();
    RECT placed = dialog.windowRect();
    SIZE size = WindowSize(dialog);
    CHECK(placed.left == 300 + (400 - size.cx) / 2);
    CHECK(placed.top == 200 + (400 - size.cy) / 2);

    RECT work = WorkAreaNear(owner.windowRect());
    owner.setBounds(work.right - 50, work.bottom - 40, work.right + 150, work.bottom + 160);
    dialog.fitToContent();
    placed = dialog.windowRect();
    CHECK(placed.right == work.right);
    CHECK(placed.bottom == work.bottom);
    CHECK(WindowSize(dialog).cx == size.cx);

    Dialog alone(nullptr, 13, L"Alone");
    new Space(new ElasticGroup(Vertical, &alone), 100, 60);
    alone.fitToContent();
    RECT centred = CentreRectInWorkArea(alone.windowRect());
    CHECK(alone.windowRect().left == centred.left);
    CHECK(alone.windowRect().top == centred.top);
}

TEST_CASE("rectangles are moved into the work area, and clipped when too large")
{
    RECT work = WorkAreaNear(RECT{0, 0, 10, 10});
    RECT moved = FitRectToWorkArea(RECT{work.left - 50, work.top - 20, work.left + 50, work.top + 80});
    CHECK(moved.left == work.left);
    CHECK(moved.top == work.top);
    CHECK(moved.right == work.left + 100);
    CHECK(moved.bottom == work.top + 100);

    LONG wide = work.right - work.left + 100;
    RECT clipped = FitRectToWorkArea(RECT{work.left - 10, work.top, work.left - 10 + wide, work.top + 10});
    CHECK(clipped.left == work.left);
    CHECK(clipped.right == work.right);

    RECT centred = CentreRectInWorkArea(RECT{5, 5, 105, 55});
    CHECK(centred.left == work.left + (work.right - work.left - 100) / 2);
    CHECK(centred.bottom - centred.top == 50);
}

TEST_CASE("runModal disables the owner while its loop runs")
{
    GuiContext context;
    HelpOwner owner;
    owner.setBounds(100, 100, 500, 400);
    owner.show();
    Dialog dialog(&owner, 21, L"Modal");
    ElasticGroup* group = new ElasticGroup(Vertical, &dialog);
    NativeEdit* edit = new NativeEdit(group);
    wchar_t name[64] = {};
    GetClassNameW(dialog.hwnd, name, 64);
    CHECK(Str(name) == L"Lumivo Dialog");
    CHECK(dialog.getText() == L"Modal");
    CHECK(dialog.dialogKeys);

    bool ran = false;
    RunInModalLoop([&] {
        ran = true;
        CHECK(!IsWindowEnabled(owner.hwnd));
        CHECK(owner.modalChild() == &dialog);
        CHECK(IsWindowVisible(dialog.hwnd));
        CHECK(edit->hasFocus());
        dialog.post(WM_CLOSE, 0, 0);
    });
    RunInModalLoop([&] { dialog.quitLoop(); }, 5000); // a watchdog
    HiddenWindows.clear();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, NoteHides, nullptr, GetCurrentThreadId());
    dialog.runModal(edit);
    CHECK(ran);
    CHECK(IsWindowEnabled(owner.hwnd));
    CHECK(!owner.isDisabledByModal());
    CHECK(!dialog.ownerDisabled);
    CHECK(!IsWindowVisible(dialog.hwnd));
    CHECK(IsWindow(dialog.hwnd));
    CHECK(GetActiveWindow() == owner.hwnd);
    CancelModalLoopCallbacks();
    // A shown window is destroyed out of sight too, without a hide step.
    Form* shown = new Form(FormMain, L"Shown Form", nullptr, 1);
    shown->show();
    HWND shownWindow = shown->hwnd;
    delete shown;
    CHECK_FALSE(IsWindow(shownWindow));
    UnhookWindowsHookEx(hook);
    CHECK(HiddenWindows.empty());

    // help and errors go to the owner
    HELPINFO help = {};
    help.cbSize = sizeof help;
    dialog.send(WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    CHECK(owner.helpId == 21);
    CHECK(dialog.reportError(Error(77)));
    CHECK(owner.reported == 77);
}

TEST_CASE("a dialog deleted while it holds its owner disabled enables it")
{
    GuiContext context;
    Form owner(FormMain, L"Delete Owner", nullptr, 1);
    Dialog* dialog = new Dialog(&owner, 22, L"Deleted");
    owner.disableForModal(dialog);
    dialog->ownerDisabled = true;
    CHECK(!IsWindowEnabled(owner.hwnd));
    delete dialog;
    CHECK(IsWindowEnabled(owner.hwnd));
    CHECK(owner.modalChild() == nullptr);
}

} // TEST_SUITE
