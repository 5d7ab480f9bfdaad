#include "doctest.h"

#include "gui/ClassRegistry.h"
#include "gui/Dpi.h"
#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/WindowProc.h"
#include "gui/WindowRegistry.h"
#include "support/ModalHelper.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

// Counts the destructors that an unwinding error runs on its way out of a handler.
struct ReleaseCounter {
    int* released;
    ~ReleaseCounter() { (*released)++; }
};

// A form whose painting fails, and which counts the errors reported to it.
class FailingForm : public Form {
public:
    FailingForm() : Form(FormMain | FormNoTooltip, L"Failing Form", nullptr, 1) {}
    void onPaint(MessageRecord& record) override
    {
        paints++;
        throw Error(1234);
    }
    void onCommand(MessageRecord& record) override
    {
        ReleaseCounter held{&released};
        Str text(L"held while the error passes");
        throw Error(99);
    }
    bool reportError(const Error& error) override
    {
        reports.push_back(error.code);
        if (sendWhileReporting)
            sendCommand(1, 0); // fails too: dropped, not reported again
        return true;
    }
    int paints = 0;
    int released = 0;
    std::vector<int32_t> reports;
    bool sendWhileReporting = false;
};

// A form whose command handler sends a command to another window from inside its own handler.
class RelayForm : public Form {
public:
    explicit RelayForm(GuiBase* target)
        : Form(FormMain | FormNoTooltip, L"Relay Form", nullptr, 1), target(target)
    {
    }
    void onCommand(MessageRecord& record) override
    {
        ReleaseCounter held{&released};
        target->sendCommand(1, 0);
        continued = true;
    }
    GuiBase* target;
    int released = 0;
    bool continued = false;
};

// A child of a toolkit class whose painting throws.
class FailingChild : public LoggingWindow {
public:
    explicit FailingChild(ControlGroup* parent) : LoggingWindow(parent, L"Failing Child") {}
    void onPaint(MessageRecord& record) override { throw Error(555); }
};

static LONG Style(HWND window)
{
    return GetWindowLongW(window, GWL_STYLE);
}

TEST_SUITE("window") {

TEST_CASE("messages sent during CreateWindowExW reach DefWindowProcW, later ones the object")
{
    GuiContext context;
    Form form(FormMain, L"Creation Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    LoggingWindow* child = new LoggingWindow(group);
    REQUIRE(child->hwnd);
    CHECK(IsWindow(child->hwnd));
    CHECK(FindWindowObject(child->hwnd) == child);
    CHECK(!child->saw(WM_NCCREATE));
    CHECK(!child->saw(WM_CREATE));
    CHECK(!child->saw(WM_NCCALCSIZE));
    child->send(WM_USER + 1, 0, 0);
    CHECK(child->saw(WM_USER + 1));
    CHECK(GetDlgCtrlID(child->hwnd) == 7);
    CHECK(GetParent(child->hwnd) == form.hwnd);
    CHECK(child->usesOwnClass());
    CHECK((reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child->hwnd, GWLP_WNDPROC)) == ToolkitWindowProc));

    // destruction unregisters first: WM_DESTROY no longer reaches the object
    HWND window = child->hwnd;
    delete child;
    CHECK(!IsWindow(window));
    CHECK(FindWindowObject(window) == nullptr);
    CHECK(group->entries.length() == 0);
}

TEST_CASE("native controls are subclassed and given back their procedure")
{
    GuiContext context;
    Form form(FormMain, L"Native Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    NativeEdit* edit = new NativeEdit(group, 42);
    REQUIRE((edit->savedProc != nullptr));
    CHECK((reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit->hwnd, GWLP_WNDPROC)) == ToolkitWindowProc));
    CHECK(GetDlgCtrlID(edit->hwnd) == 42);
    CHECK(!edit->usesOwnClass());

    // a hidden control without the focus answers for itself; a shown one asks the edit
    CHECK(edit->send(WM_GETDLGCODE, 0, 0) == DLGC_WANTCHARS);
    edit->show();
    CHECK(edit->send(WM_GETDLGCODE, 0, 0) != DLGC_WANTCHARS);

    WNDPROC native = edit->savedProc;
    HWND window = edit->hwnd;
    edit->destroyWindow();
    CHECK((edit->savedProc == nullptr));
    CHECK(edit->hwnd == nullptr);
    CHECK(!IsWindow(window));
    CHECK((native != nullptr));
    CHECK_THROWS_AS(edit->getText(), InternalError);
    CHECK_THROWS_AS(edit->setText(L"x"), InternalError);
    CHECK(edit->send(WM_USER, 0, 0) == 0);
}

TEST_CASE("setText writes only a changed text")
{
    GuiContext context;
    Form form(FormMain, L"Text Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    NativeEdit* edit = new NativeEdit(group);
    edit->setText(L"abc");
    CHECK(edit->setTextCalls == 1);
    CHECK(edit->getText() == L"abc");
    edit->setText(L"abc");
    CHECK(edit->setTextCalls == 1);
    edit->setText(L"abd");
    CHECK(edit->setTextCalls == 2);
    edit->setTextAlways(L"abd");
    CHECK(edit->setTextCalls == 3);
    edit->setText(nullptr);
    CHECK(edit->setTextCalls == 4);
    CHECK(edit->getText().isEmpty());
    edit->setText(L"");
    CHECK(edit->setTextCalls == 4);
}

TEST_CASE("WM_CLOSE leaves a toolkit window open")
{
    GuiContext context;
    Form form(FormMain, L"Close Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    LoggingWindow* child = new LoggingWindow(group);
    NativeEdit* edit = new NativeEdit(group);
    form.show();
    child->send(WM_CLOSE, 0, 0);
    CHECK(IsWindow(child->hwnd));
    edit->send(WM_CLOSE, 0, 0); // not passed to the edit's own procedure, which would destroy it
    CHECK(IsWindow(edit->hwnd));
    form.send(WM_CLOSE, 0, 0);
    CHECK(IsWindow(form.hwnd));
    CHECK(IsWindowVisible(form.hwnd));
    CHECK(form.quit);
}

TEST_CASE("an error in onPaint validates the window and is reported once")
{
    GuiContext context;
    FailingForm form;
    form.show();
    form.update();
    CHECK(form.paints == 1);
    REQUIRE(form.reports.size() == 1);
    CHECK(form.reports[0] == 1234);
    CHECK(!GetUpdateRect(form.hwnd, nullptr, FALSE));
    PumpMessagesFor(100);
    CHECK(form.paints == 1); // no endless WM_PAINT

    // an error while an error is being reported is dropped
    form.sendWhileReporting = true;
    form.sendCommand(1, 0);
    REQUIRE(form.reports.size() == 2);
    CHECK(form.reports[1] == 99);

    // a child's error travels up the parent chain to the form
    form.sendWhileReporting = false;
    FailingChild* child = new FailingChild(new ElasticGroup(Vertical, &form));
    child->setBounds(0, 0, 20, 20);
    child->show();
    child->update();
    REQUIRE(form.reports.size() == 3);
    CHECK(form.reports[2] == 555);
    CHECK(!GetUpdateRect(child->hwnd, nullptr, FALSE));
}

TEST_CASE("an error unwinds its handler's frames and stops at the window procedure, also nested in another")
{
    GuiContext context;
    FailingForm failing;
    failing.sendCommand(1, 0);
    CHECK(failing.released == 1);
    REQUIRE(failing.reports.size() == 1);
    CHECK(failing.reports[0] == 99);

    // The outer handler waits in SendMessageW (a system frame) while the inner one throws: the error
    // ends at the inner window procedure, and the outer handler goes on.
    RelayForm relay(&failing);
    relay.sendCommand(1, 0);
    CHECK(failing.released == 2);
    REQUIRE(failing.reports.size() == 2);
    CHECK(relay.continued);
    CHECK(relay.released == 1);
}

TEST_CASE("one window class per label")
{
    GuiContext context;
    Form form(FormMain, L"Class Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    new LoggingWindow(group, L"Shared Label");
    int64_t classes = ToolkitClasses.length();
    LoggingWindow* second = new LoggingWindow(group, L"Shared Label");
    CHECK(ToolkitClasses.length() == classes);
    wchar_t name[64] = {};
    GetClassNameW(second->hwnd, name, 64);
    CHECK(Str(name) == L"Lumivo Shared Label");

    // the flags of the first registration stay
    Str again = RegisterToolkitClass(GetModuleHandleW(nullptr), L"Shared Label", ClassDoubleClicks);
    CHECK(again == L"Lumivo Shared Label");
    CHECK(ToolkitClasses.length() == classes);
    WNDCLASSW registered = {};
    REQUIRE(GetClassInfoW(GetModuleHandleW(nullptr), L"Lumivo Shared Label", &registered));
    CHECK(!(registered.style & CS_DBLCLKS));
    CHECK((registered.lpfnWndProc == ToolkitWindowProc));
    CHECK(registered.cbWndExtra == 30);

    Str shadow =
        RegisterToolkitClass(GetModuleHandleW(nullptr), L"Shadow Test", ClassDropShadow | ClassDoubleClicks);
    REQUIRE(GetClassInfoW(GetModuleHandleW(nullptr), shadow.text(), &registered));
    CHECK((registered.style & CS_DBLCLKS));
    CHECK(ToolkitClasses.length() == classes + 1);

    wchar_t formClass[64] = {};
    GetClassNameW(form.hwnd, formClass, 64);
    CHECK(Str(formClass) == L"Lumivo Class Form");
}

TEST_CASE("show and hide, and the tab-stop rule")
{
    GuiContext context;
    Form form(FormMain, L"Show Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    NativeEdit* edit = new NativeEdit(group);
    NativeEdit* fixed = new NativeEdit(group, 101, NoTabStop);
    CHECK(!edit->isShown());
    CHECK(!IsWindowVisible(edit->hwnd));
    CHECK(edit->tabStopWhenShown);
    CHECK(!fixed->tabStopWhenShown);
    form.show();

    edit->show();
    fixed->show();
    CHECK(edit->isShown());
    CHECK(IsWindowVisible(edit->hwnd));
    CHECK((Style(edit->hwnd) & WS_TABSTOP));
    CHECK(!(Style(fixed->hwnd) & WS_TABSTOP));

    edit->hide();
    fixed->hide();
    CHECK(!IsWindowVisible(edit->hwnd));
    CHECK(!(Style(edit->hwnd) & WS_TABSTOP));
    CHECK(!(Style(fixed->hwnd) & WS_TABSTOP));

    edit->show();
    fixed->show();
    CHECK((Style(edit->hwnd) & WS_TABSTOP));
    CHECK(!(Style(fixed->hwnd) & WS_TABSTOP));

    // showing a shown control changes nothing at all, nor does hiding a hidden one
    SetWindowLongW(edit->hwnd, GWL_STYLE, Style(edit->hwnd) & ~WS_TABSTOP);
    ShowWindow(edit->hwnd, SW_HIDE);
    edit->show();
    CHECK(!IsWindowVisible(edit->hwnd));
    CHECK(!(Style(edit->hwnd) & WS_TABSTOP));
    edit->hide();
    ShowWindow(edit->hwnd, SW_SHOW);
    edit->hide();
    CHECK(IsWindowVisible(edit->hwnd));

    // collapsing hides; uncollapsing does not show
    fixed->collapse();
    CHECK(fixed->isCollapsed());
    CHECK(!IsWindowVisible(fixed->hwnd));
    fixed->uncollapse();
    CHECK(!fixed->isCollapsed());
    CHECK(!fixed->isShown());
}

TEST_CASE("the window registry")
{
    CHECK(WindowBucket(reinterpret_cast<HWND>(0x12345)) == 14);
    CHECK(WindowBucket(reinterpret_cast<HWND>(0)) == 0);
    // the sum wraps at 2^64
    uint64_t all = ~uint64_t(0);
    uint64_t sum = all + all / 51 + all / 2601 + all / 132651 + all / 6765201;
    CHECK(WindowBucket(reinterpret_cast<HWND>(all)) == sum % 51);

    HWND first = reinterpret_cast<HWND>(0x12345);
    HWND second = nullptr;
    for (uintptr_t h = 0x12346; !second; h++)
        if (WindowBucket(reinterpret_cast<HWND>(h)) == 14)
            second = reinterpret_cast<HWND>(h);
    GuiBase a;
    GuiBase b;
    GuiBase duplicate;
    a.hwnd = first;
    b.hwnd = second;
    duplicate.hwnd = first;
    RegisterWindow(&a);
    RegisterWindow(&b);
    RegisterWindow(&duplicate); // the handle is present already
    GuiBase none;
    RegisterWindow(&none); // no handle
    CHECK(FindWindowObject(first) == &a);
    CHECK(FindWindowObject(second) == &b);
    CHECK(FindWindowObject(nullptr) == nullptr);
    UnregisterWindow(first);
    CHECK(FindWindowObject(first) == nullptr);
    CHECK(FindWindowObject(second) == &b);
    UnregisterWindow(second);
    CHECK(FindWindowObject(second) == nullptr);
}

TEST_CASE("the parent chain answers for windowless children")
{
    GuiContext context;
    Form form(FormMain, L"Chain Form", nullptr, 1);
    ElasticGroup* outer = new ElasticGroup(Vertical, &form);
    ElasticGroup* inner = new ElasticGroup(Horizontal, outer);
    NativeEdit* edit = new NativeEdit(inner);
    CHECK(inner->form() == &form);
    CHECK(edit->form() == &form);
    CHECK(form.form() == nullptr);
    CHECK(inner->parentHandle() == form.hwnd);
    CHECK(inner->anyHandle() == form.hwnd);
    CHECK(inner->windowedAncestor() == &form);
    CHECK(edit->anyHandle() == edit->hwnd);
    form.setDpi(144);
    CHECK(edit->dpi() == 144);
    CHECK(inner->drawingDC().dc() != nullptr);

    // loose objects: no form, no fonts, no drawing context
    ElasticGroup loose(Vertical, nullptr);
    CHECK(loose.form() == nullptr);
    CHECK(loose.normalFont().isNull());
    CHECK_THROWS_AS(loose.drawingDC(), InternalError);
    CHECK(loose.dpi() == SystemDpi());
}

} // TEST_SUITE
