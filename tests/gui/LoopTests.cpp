#include "doctest.h"

#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/MessageLoop.h"
#include "support/ModalHelper.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

#include <string>

// A form that counts the WM_CLOSE messages that reach it (a stand-in for an open popup).
class ClosingForm : public Form {
public:
    ClosingForm() : Form(FormNoTooltip, L"Closing Form", nullptr, 3) {}
    void onClose(MessageRecord& record) override
    {
        closes++;
        Form::onClose(record);
    }
    int closes = 0;
};

// An idle object that wants a given number of further idle calls.
class IdleCounter : public GuiBase {
public:
    bool onIdle() override
    {
        calls++;
        return calls < wanted;
    }
    int calls = 0;
    int wanted = 0;
};

// Ends a loop that a failing test would leave running.
static void Watchdog(Form& form, bool& fired)
{
    RunInModalLoop(
        [&form, &fired] {
            fired = true;
            form.quitLoop();
        },
        5000);
}

TEST_SUITE("loop") {

TEST_CASE("closing a form ends its loop and leaves the form")
{
    GuiContext context;
    Form form(FormMain, L"Loop Form", nullptr, 1);
    form.setBounds(100, 100, 300, 200);
    form.show();
    RunInModalLoop([&form] { form.post(WM_CLOSE, 0, 0); });
    form.runLoop();
    CHECK(form.quit);
    CHECK(IsWindow(form.hwnd));
    CHECK(IsWindowVisible(form.hwnd));
    CancelModalLoopCallbacks();
}

TEST_CASE("nested loops: quitLoop ends only the inner one")
{
    GuiContext context;
    Form outer(FormMain, L"Outer Form", nullptr, 1);
    Form inner(FormNoTooltip, L"Inner Form", &outer, 2);
    std::wstring steps;
    bool timedOut = false;
    Watchdog(outer, timedOut);
    RunInModalLoop([&] {
        steps += L"inner-start ";
        RunInModalLoop([&] {
            steps += L"inner-quit ";
            inner.quitLoop();
        });
        inner.runLoop();
        steps += outer.quit ? L"outer-ended " : L"inner-ended ";
        RunInModalLoop([&] {
            steps += L"outer-quit";
            outer.quitLoop();
        });
    });
    outer.runLoop();
    CHECK(!timedOut);
    CHECK(steps == L"inner-start inner-quit inner-ended outer-quit");
    CancelModalLoopCallbacks();
}

TEST_CASE("pumpMessages returns at once and stops at a close")
{
    GuiContext context;
    Form form(FormMain, L"Pump Form", nullptr, 1);
    PumpMessagesFor(50);
    form.pumpMessages(); // nothing waiting: returns
    CHECK(!form.quit);

    form.post(WM_CLOSE, 0, 0);
    form.post(WM_USER + 5, 0, 0);
    form.pumpMessages();
    CHECK(form.quit);
    MSG left;
    CHECK(PeekMessageW(&left, form.hwnd, WM_USER + 5, WM_USER + 5, PM_REMOVE));
}

TEST_CASE("the loop closes the open popup on input and records the mouse")
{
    GuiContext context;
    Form form(FormMain, L"Input Form", nullptr, 1);
    form.setBounds(100, 100, 400, 300);
    form.show();
    ClosingForm popup;
    PumpMessagesFor(30);

    OpenPopup = popup.hwnd;
    form.post(WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(5, 5));
    form.pumpMessages();
    CHECK(OpenPopup == popup.hwnd); // moving does not close
    CHECK(LastMouseKeys == MK_SHIFT);

    form.post(WM_KEYDOWN, 'A', 0);
    form.pumpMessages();
    CHECK(popup.closes == 1);
    CHECK(OpenPopup == nullptr);

    OpenPopup = popup.hwnd;
    form.post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20));
    form.pumpMessages();
    CHECK(popup.closes == 2);
    CHECK(OpenPopup == nullptr);
    CHECK(LastMouseKeys == MK_LBUTTON);
    POINT expected = form.clientToScreen(POINT{10, 20});
    CHECK(LastMousePoint.x == expected.x);
    CHECK(LastMousePoint.y == expected.y);

    // without a popup the mouse is still recorded; frame messages carry screen positions
    form.post(WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(-3, 7));
    form.post(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(50, 50)); // not recorded
    form.pumpMessages();
    CHECK(popup.closes == 2);
    CHECK(LastMousePoint.x == -3);
    CHECK(LastMousePoint.y == 7);

    // a popup that goes away is forgotten
    OpenPopup = popup.hwnd;
    ForgetLoopWindow(popup.hwnd);
    CHECK(OpenPopup == nullptr);
}

TEST_CASE("the loop tells a toolkit window that the mouse left it")
{
    GuiContext context;
    Form form(FormMain, L"Leave Form", nullptr, 1);
    ElasticGroup* group = new ElasticGroup(Vertical, &form);
    LoggingWindow* first = new LoggingWindow(group);
    LoggingWindow* second = new LoggingWindow(group);
    NativeEdit* native = new NativeEdit(group);
    form.setBounds(0, 0, 200, 200);
    form.show();
    SetCursorPos(1200, 1000); // far from every window
    PumpMessagesFor(30);
    MouseTracked = nullptr;

    native->post(WM_MOUSEMOVE, 0, 0);
    form.pumpMessages();
    CHECK(MouseTracked == nullptr); // native controls are not tracked

    first->post(WM_MOUSEMOVE, 0, 0);
    form.pumpMessages();
    CHECK(MouseTracked == first->hwnd);
    CHECK(!first->saw(WM_MOUSELEAVE));

    second->post(WM_MOUSEMOVE, 0, 0);
    form.pumpMessages();
    CHECK(first->saw(WM_MOUSELEAVE));
    CHECK(MouseTracked == second->hwnd);

    form.post(WM_TIMER, 77, 0); // any timer message is the clock
    form.pumpMessages();
    CHECK(second->saw(WM_MOUSELEAVE));
    CHECK(MouseTracked == nullptr);

    // a deleted window is forgotten
    second->post(WM_MOUSEMOVE, 0, 0);
    form.pumpMessages();
    delete second;
    CHECK(MouseTracked == nullptr);
}

TEST_CASE("idle objects get idle calls unless a modal window runs")
{
    GuiContext context;
    Form form(FormMain, L"Idle Form", nullptr, 1);
    IdleCounter counter;
    counter.wanted = 2;
    form.addIdleObject(&counter);
    form.addIdleObject(&counter);
    CHECK(form.idleObjects.length() == 1);
    CHECK(form.idle());
    CHECK(!form.idle());
    CHECK(counter.calls == 2);

    Form modal(FormNoTooltip, L"Idle Modal", &form, 2);
    form.disableForModal(&modal);
    CHECK(!form.idle());
    CHECK(counter.calls == 2);
    form.enableAfterModal(&modal);

    // the loop itself does the idle work while nothing is waiting
    counter.calls = 0;
    counter.wanted = 3;
    bool timedOut = false;
    Watchdog(form, timedOut);
    RunInModalLoopUntil([&] {
        if (counter.calls < 3)
            return false;
        form.quitLoop();
        return true;
    });
    form.runLoop();
    CHECK(!timedOut);
    CHECK(counter.calls >= 3);
    form.removeIdleObject(&counter);
    CHECK(form.idleObjects.length() == 0);
    CancelModalLoopCallbacks();
}

} // TEST_SUITE
