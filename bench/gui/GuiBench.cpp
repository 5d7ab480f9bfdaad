// Measures the toolkit's hot paths: one message through the window procedure (registry lookup and
// dispatch), and one full layout pass (sizeLimits and setBounds) over a tree of nested groups.
// Run under Wine with a display: tools/with-display tools/wine-run build/bin/lumivo-gui-bench.exe
#include "core/AppContext.h"
#include "core/Error.h"
#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/Space.h"

#include <windows.h>

#include <stdio.h>

static double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// A windowless child of fixed size, as a label or a button would report it.
class FixedChild : public Control {
public:
    explicit FixedChild(ControlGroup* parent) : Control(parent, 0, Windowless)
    {
        createWindow(L"Fixed", 0, 0);
    }
    SizeLimits sizeLimits() override { return SizeLimits{80, 20, 80, 20}; }
};

static double NanosecondsPerMessage(HWND window)
{
    const int count = 200000;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; i++)
        SendMessageW(window, WM_USER + 1, 0, 0);
    QueryPerformanceCounter(&end);
    return Seconds(start, end) * 1e9 / count;
}

static void MeasureDispatch(Form& form)
{
    // The same message to a window of the system's own procedure, for the cost of SendMessageW.
    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    double baseline = NanosecondsPerMessage(plain);
    DestroyWindow(plain);
    double toolkit = NanosecondsPerMessage(form.hwnd);
    printf("message through the window procedure: %.0f ns (a system window: %.0f ns)\n", toolkit, baseline);
}

static void MeasureLayout(Form& form)
{
    ElasticGroup* rows = new ElasticGroup(Vertical, &form);
    rows->spacing = 4;
    rows->marginX = rows->marginY = 8;
    int children = 0;
    for (int r = 0; r < 20; r++) {
        ElasticGroup* row = new ElasticGroup(Horizontal, rows);
        row->spacing = 8;
        new Space(row);
        for (int c = 0; c < 5; c++, children++)
            new FixedChild(row);
    }
    const int passes = 20000;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < passes; i++) {
        rows->sizeLimits();
        rows->setBounds(0, 0, 800 + (i & 15), 600);
    }
    QueryPerformanceCounter(&end);
    printf("layout pass over 20 rows of 5 children and a space: %.1f us (%d children, %d passes)\n",
           Seconds(start, end) * 1e6 / passes, children, passes);
}

int wmain()
{
    AppContext context = {};
    try {
        CreateAppContext(&context, GetModuleHandleW(nullptr));
        Form form(FormMain | FormNoTooltip, L"Bench Form", nullptr, 1);
        MeasureDispatch(form);
        MeasureLayout(form);
        DestroyAppContext(&context);
    } catch (const Error& error) {
        printf("error %d\n", error.code);
        return 1;
    }
    return 0;
}
