#include "doctest.h"

#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/Space.h"
#include "tests/gui/GuiTestSupport.h"

#include <initializer_list>

// A form whose content is one elastic group, at a chosen DPI.
struct LayoutForm {
    explicit LayoutForm(uint32_t horizontal, uint32_t dpi = 96)
        : form(FormMain | FormNoTooltip, L"Layout Form", nullptr, 1),
          group(new ElasticGroup(horizontal, &form))
    {
        form.setDpi(dpi);
    }
    // sizeLimits, then setBounds of the rectangle, as a form does.
    SizeLimits layOut(int32_t left, int32_t top, int32_t right, int32_t bottom)
    {
        SizeLimits limits = group->sizeLimits();
        group->setBounds(left, top, right, bottom);
        return limits;
    }
    GuiContext context;
    Form form;
    ElasticGroup* group;
};

static SizeLimits Fixed(int32_t width, int32_t height)
{
    return SizeLimits{width, height, width, height};
}

static bool Placed(const Probe* probe, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return probe->bounds.left == left && probe->bounds.top == top && probe->bounds.right == right &&
           probe->bounds.bottom == bottom;
}

TEST_SUITE("layout") {

TEST_CASE("two labels stacked with spacing and margins")
{
    LayoutForm layout(Vertical);
    layout.group->spacing = 8;
    layout.group->marginX = 8;
    layout.group->marginY = 8;
    Probe* first = new Probe(layout.group, SizeLimits{60, 20, Unbounded, 20});
    Probe* second = new Probe(layout.group, SizeLimits{90, 30, Unbounded, 30});
    SizeLimits limits = layout.layOut(0, 0, 300, 200);
    CHECK(limits.minHeight == 20 + 30 + 8 + 16);
    CHECK(limits.maxHeight == 20 + 30 + 8 + 16);
    CHECK(limits.minWidth == 16 + 90);
    CHECK(limits.maxWidth == Unbounded + 16);
    CHECK(Placed(first, 8, 8, 292, 28));
    CHECK(Placed(second, 8, 36, 292, 66));
}

TEST_CASE("an elastic space beside fixed buttons takes all the extra width")
{
    LayoutForm layout(Horizontal);
    layout.group->spacing = 8;
    Space* space = new Space(layout.group);
    Probe* ok = new Probe(layout.group, Fixed(75, 23));
    Probe* cancel = new Probe(layout.group, Fixed(75, 23));
    CHECK(layout.group->entries.ref(0).weight == 1);
    CHECK(layout.group->entries.ref(1).weight == 10000);
    SizeLimits limits = layout.layOut(0, 0, 400, 23);
    CHECK(limits.minWidth == 150 + 16);
    CHECK(limits.maxHeight == 23); // the space's unbounded height does not count
    CHECK(layout.group->entries.ref(0).size == 400 - 150 - 16);
    CHECK(Placed(ok, 242, 0, 317, 23));
    CHECK(Placed(cancel, 325, 0, 400, 23));
    CHECK(space->isSpace());
    CHECK(!ok->isSpace());
}

TEST_CASE("an elastic field takes 10000/10001 of the extra room beside an elastic space")
{
    LayoutForm layout(Horizontal);
    new Space(layout.group);
    Probe* field = new Probe(layout.group, SizeLimits{50, 20, Unbounded, 20});
    layout.layOut(0, 0, 1051, 20);
    // extra room 1001: the field, with less capacity, is served first and takes 1000 of it
    CHECK(field->width() == 50 + 1000);
    CHECK(layout.group->entries.ref(0).size == 1);
}

TEST_CASE("a child that reaches its maximum leaves the surplus to the children with more room")
{
    LayoutForm layout(Vertical);
    Probe* open = new Probe(layout.group, SizeLimits{0, 10, Unbounded, Unbounded});
    Probe* limited = new Probe(layout.group, SizeLimits{0, 10, Unbounded, 60});
    layout.layOut(0, 0, 100, 320);
    CHECK(limited->height() == 60);
    CHECK(open->height() == 260);
    CHECK(Placed(open, 0, 0, 100, 260));
    CHECK(Placed(limited, 0, 260, 100, 320));
}

TEST_CASE("fixed children come first, flexible ones by increasing capacity, ties in child order")
{
    LayoutForm layout(Horizontal);
    Probe* wide = new Probe(layout.group, SizeLimits{0, 0, 500, 10});
    Probe* fixed = new Probe(layout.group, Fixed(40, 10));
    Probe* narrow = new Probe(layout.group, SizeLimits{0, 0, 100, 10});
    Probe* twin = new Probe(layout.group, SizeLimits{0, 0, 100, 10});
    layout.layOut(0, 0, 340, 10);
    LayoutEntry* order = &layout.group->entries.ref(1);
    CHECK(order->child == fixed);
    CHECK(order->next->child == narrow);
    CHECK(order->next->next->child == twin);
    CHECK(order->next->next->next->child == wide);
    // 300 extra: narrow and twin get 100 each (at their maximum), wide the remaining 100
    CHECK(narrow->width() == 100);
    CHECK(twin->width() == 100);
    CHECK(wide->width() == 100);
    CHECK(Placed(wide, 0, 0, 100, 10));
    CHECK(Placed(fixed, 100, 0, 140, 10));
}

TEST_CASE("alignment of a horizontal group whose children are all at their maximum")
{
    for (uint32_t alignment : {AlignStart, AlignCentre, AlignEnd}) {
        LayoutForm layout(Horizontal);
        layout.group->alignment = alignment;
        layout.group->spacing = 10;
        Probe* first = new Probe(layout.group, Fixed(50, 20));
        Probe* second = new Probe(layout.group, Fixed(50, 20));
        layout.layOut(0, 0, 211, 20); // 101 left over
        int32_t start = alignment == AlignStart ? 0 : alignment == AlignCentre ? 50 : 101;
        CHECK(first->bounds.left == start);
        CHECK(second->bounds.left == start + 60);
    }
    LayoutForm vertical(Vertical);
    vertical.group->alignment = AlignEnd; // ignored
    Probe* only = new Probe(vertical.group, Fixed(50, 20));
    vertical.layOut(0, 0, 100, 100);
    CHECK(Placed(only, 0, 0, 100, 20));
}

TEST_CASE("a collapsed child takes neither room nor spacing")
{
    LayoutForm layout(Vertical);
    layout.group->spacing = 8;
    Probe* first = new Probe(layout.group, Fixed(50, 20));
    Probe* gone = new Probe(layout.group, Fixed(80, 30));
    Probe* last = new Probe(layout.group, Fixed(50, 20));
    gone->collapse();
    SizeLimits limits = layout.layOut(0, 0, 100, 100);
    CHECK(limits.minHeight == 48);
    CHECK(limits.minWidth == 50);
    CHECK(gone->boundsCalls == 0);
    CHECK(Placed(first, 0, 0, 100, 20));
    CHECK(Placed(last, 0, 28, 100, 48));

    // a collapsed group has no size at all
    ElasticGroup* inner = new ElasticGroup(Horizontal, layout.group);
    new Probe(inner, Fixed(30, 30));
    inner->collapse();
    CHECK(inner->sizeLimits().maxWidth == 0);
    CHECK(layout.group->sizeLimits().minHeight == 48);
}

TEST_CASE("fixed sizes and distances scale with the form's DPI")
{
    LayoutForm layout(Horizontal, 144);
    layout.group->marginX = 8;
    layout.group->spacing = 4;
    Space* space = new Space(layout.group, 32, -1);
    Probe* probe = new Probe(layout.group, Fixed(10, 10));
    SizeLimits limits = layout.layOut(0, 0, 500, 100);
    CHECK(space->sizeLimits().minWidth == 48);
    CHECK(space->sizeLimits().maxWidth == 48);
    CHECK(space->sizeLimits().maxHeight == Unbounded);
    CHECK(limits.minWidth == 48 + 6 + 10 + 24);
    CHECK(layout.group->entries.ref(0).size == 48);
    CHECK(probe->bounds.left == 12 + 48 + 6);

    Space elastic(nullptr);
    CHECK(elastic.sizeLimits().maxWidth == Unbounded);
    CHECK(!elastic.isShown());
}

TEST_CASE("a rectangle smaller than the minimum: every child keeps its minimum and overflows")
{
    LayoutForm layout(Vertical);
    layout.group->spacing = 5;
    Probe* first = new Probe(layout.group, SizeLimits{0, 40, Unbounded, 80});
    Probe* second = new Probe(layout.group, SizeLimits{0, 40, Unbounded, 80});
    layout.layOut(0, 0, 100, 50);
    CHECK(Placed(first, 0, 0, 100, 40));
    CHECK(Placed(second, 0, 45, 100, 85));
}

TEST_CASE("windowed children are placed in the form's client area")
{
    LayoutForm layout(Vertical);
    layout.group->marginX = 10;
    layout.group->marginY = 5;
    NativeEdit* edit = new NativeEdit(layout.group);
    Probe* below = new Probe(layout.group, Fixed(10, 30));
    // WM_GETMINMAXINFO refreshes the limits, then WM_SIZE lays the content out
    layout.form.setBounds(100, 100, 500, 300);
    RECT client = layout.form.clientRect();
    RECT placed;
    GetWindowRect(edit->hwnd, &placed);
    MapWindowPoints(nullptr, layout.form.hwnd, reinterpret_cast<POINT*>(&placed), 2);
    CHECK(placed.left == 10);
    CHECK(placed.top == 5);
    CHECK(placed.right == client.right - 10);
    CHECK(placed.bottom == client.bottom - 5 - 30);
    CHECK(below->bounds.bottom == client.bottom - 5);
}

TEST_CASE("showing and hiding a group reaches every child; tooltips and ids come from children")
{
    LayoutForm layout(Vertical);
    NativeEdit* edit = new NativeEdit(layout.group, 77);
    Probe* probe = new Probe(layout.group, Fixed(10, 10));
    probe->collapse();
    layout.group->hide();
    CHECK(!layout.group->isShown());
    layout.group->show();
    CHECK(edit->isShown());
    CHECK(probe->isShown()); // collapsed children are shown too; only layout skips them

    layout.form.setBounds(0, 0, 300, 200);
    layout.form.show();
    edit->setTooltip(L"tip");
    RECT where = edit->windowRect();
    POINT inside = {where.left + 2, where.top + 2};
    Str text;
    CHECK(layout.form.tooltipAt(inside, text));
    CHECK(text == L"tip");
    CHECK(layout.form.idAt(inside) == 77);
    POINT outside = {where.right + 500, where.bottom + 500};
    CHECK(!layout.form.tooltipAt(outside, text));
    CHECK(layout.form.idAt(outside) == 0);
}

} // TEST_SUITE
