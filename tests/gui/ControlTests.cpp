#include "doctest.h"

#include "gui/Button.h"
#include "gui/ButtonsBar.h"
#include "gui/CheckMark.h"
#include "gui/EditKeys.h"
#include "gui/EditLine.h"
#include "gui/EditText.h"
#include "gui/ElasticGroup.h"
#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"
#include "gui/StaticIcon.h"
#include "gui/StaticText.h"
#include "support/AccessibleProbe.h"
#include "tests/gui/GuiTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

// A form that keeps the WM_COMMAND and WM_NEXTDLGCTL messages its controls send it.
class CommandForm : public Form {
public:
    explicit CommandForm(uint32_t formFlags = FormMain | FormNoTooltip)
        : Form(formFlags, L"Command Form", nullptr, 1)
    {
    }
    void onCommand(MessageRecord& record) override
    {
        commands.push_back(record.wParam);
        Form::onCommand(record);
    }
    void defaultProc(MessageRecord& record) override
    {
        if (record.message == WM_NEXTDLGCTL && record.lParam)
            nextControl.push_back(reinterpret_cast<HWND>(record.wParam));
        Form::defaultProc(record);
    }
    std::vector<WPARAM> commands;
    std::vector<HWND> nextControl;
};

// A form at a chosen DPI with an elastic group as content.
struct ControlForm {
    explicit ControlForm(uint32_t dpi, uint32_t formFlags = FormMain | FormNoTooltip)
        : form(formFlags), group(new ElasticGroup(Vertical, &form))
    {
        form.rebuildFonts(dpi);
    }
    GuiContext context;
    CommandForm form;
    ElasticGroup* group;
};

// Measures with GetTextExtentPoint32W in a memory DC: the controls measure on their own windows.
static SIZE Extent(const GdiObj& font, const wchar_t* text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font.handle());
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
}

static int32_t AverageWidth(const GdiObj& font)
{
    return (Extent(font, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz").cx + 26) / 52;
}

static bool FixedAt(const SizeLimits& limits, int32_t width, int32_t height)
{
    return limits.minWidth == width && limits.maxWidth == width && limits.minHeight == height &&
           limits.maxHeight == height;
}

// The control's window rectangle in its parent's client coordinates.
static RECT PlacedAt(Control* control)
{
    RECT placed;
    GetWindowRect(control->hwnd, &placed);
    MapWindowPoints(nullptr, GetParent(control->hwnd), reinterpret_cast<POINT*>(&placed), 2);
    return placed;
}

static LRESULT DlgCode(Control* control, UINT message, WPARAM key)
{
    MSG sent = {control->hwnd, message, key, 0, 0, {0, 0}};
    return control->send(WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&sent));
}

// The notifications of the toolkit's controls, without those of the native edit (EN_...).
static std::vector<WPARAM> Notifications(const std::vector<WPARAM>& commands)
{
    std::vector<WPARAM> kept;
    for (WPARAM command : commands)
        if (HIWORD(command) < 0x100 || HIWORD(command) >= 0x1000)
            kept.push_back(command);
    return kept;
}

static void PumpForm(Form& form)
{
    for (int i = 0; i < 5; i++)
        form.pumpMessages();
}

TEST_SUITE("controls") {

TEST_CASE("buttons measure in dialog units of their font, at 96 and at 144 DPI")
{
    int32_t widthAt96 = 0, heightAt96 = 0;
    for (uint32_t dpi : {96u, 144u}) {
        CAPTURE(dpi);
        ControlForm owner(dpi);
        Button* ok = new Button(owner.group, L"OK", IDOK, L"");
        Button* yes = new Button(owner.group, L"Yes", IDYES, L"Say yes");
        Button* other = new Button(owner.group, L"A much longer caption than fifty units", 7, L"");
        CHECK((ok->send(WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON));
        CHECK((yes->send(WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON));
        CHECK((other->send(WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON));
        CHECK(yes->tooltipText == L"Say yes");
        CHECK(ok->tooltipText.isEmpty());
        CHECK(ok->getText() == L"OK");

        GdiObj font = owner.form.normalFont();
        int32_t average = AverageWidth(font);
        int32_t textHeight = Extent(font, L"OK").cy;
        // "OK" plus four average characters is narrower than 50 dialog units.
        CHECK(FixedAt(ok->sizeLimits(), (50 * average + 2) / 4, (14 * textHeight + 4) / 8));
        int32_t longWidth = Extent(font, L"A much longer caption than fifty units").cx;
        CHECK(other->sizeLimits().minWidth == longWidth + 4 * average);

        ok->paddingX = 6;
        ok->paddingY = 2;
        int32_t s6 = MulDiv(6, dpi, 96), s2 = MulDiv(2, dpi, 96);
        CHECK(FixedAt(ok->sizeLimits(), Extent(font, L"OK").cx + 2 * s6, textHeight + 2 * s2));
        // The font grows with the DPI, and the button with it: measured with the font the form
        // selected (its average width rounds per size, whatever the family), not as 1.5 times.
        LOGFONTW description = {};
        REQUIRE(GetObjectW(font.handle(), sizeof description, &description) == sizeof description);
        if (dpi == 96) {
            widthAt96 = (50 * average + 2) / 4;
            heightAt96 = description.lfHeight;
        } else {
            CHECK(description.lfHeight == MulDiv(heightAt96, 144, 96));
            CHECK((50 * average + 2) / 4 > widthAt96);
        }
    }
}

TEST_CASE("labels: one line of text, 2 pixels of room, centred in a taller row")
{
    for (uint32_t dpi : {96u, 144u}) {
        CAPTURE(dpi);
        ControlForm owner(dpi);
        Label* label = new Label(owner.group, L"Folder name");
        Label* empty = new Label(owner.group, L"");
        CHECK(label->id() == NoControlId);
        CHECK(!(GetWindowLongW(label->hwnd, GWL_STYLE) & WS_TABSTOP));
        GdiObj font = owner.form.normalFont();
        SIZE text = Extent(font, L"Folder name");
        int32_t room = MulDiv(2, dpi, 96);
        CHECK(FixedAt(label->sizeLimits(), text.cx + room, text.cy));
        CHECK(label->naturalHeight == text.cy);
        CHECK(FixedAt(empty->sizeLimits(), room, Extent(font, L"Wy").cy));
        label->paddingX = 4;
        label->paddingY = 3;
        CHECK(FixedAt(label->sizeLimits(), text.cx + room + 2 * MulDiv(4, dpi, 96),
                      text.cy + 2 * MulDiv(3, dpi, 96)));

        label->setBounds(10, 20, 210, 20 + label->naturalHeight + 31);
        RECT placed = PlacedAt(label);
        CHECK(placed.left == 10);
        CHECK(placed.right == 210);
        CHECK(placed.top == 20 + 15);
        CHECK(placed.bottom - placed.top == label->naturalHeight);
    }
}

TEST_CASE("a hidden label offers no mnemonic to the dialog manager; shown again, it does")
{
    ControlForm owner(96, FormDialogFrame | FormNoTooltip);
    Label* label = new Label(owner.group, L"&Name");
    EditLine* edit = new EditLine(owner.group);
    Button* button = new Button(owner.group, L"OK", IDOK, L"");
    owner.form.setBounds(100, 100, 400, 300);
    owner.form.show();
    button->setFocus();
    CHECK(!(GetWindowLongW(label->hwnd, GWL_STYLE) & SS_NOPREFIX));

    MSG alt = {button->hwnd, WM_SYSCHAR, L'n', 0, 0, {0, 0}};
    label->hide();
    CHECK((GetWindowLongW(label->hwnd, GWL_STYLE) & SS_NOPREFIX));
    IsDialogMessageW(owner.form.hwnd, &alt);
    CHECK(owner.form.nextControl.empty());

    label->show();
    CHECK(!(GetWindowLongW(label->hwnd, GWL_STYLE) & SS_NOPREFIX));
    IsDialogMessageW(owner.form.hwnd, &alt);
    REQUIRE(owner.form.nextControl.size() == 1);
    CHECK(owner.form.nextControl[0] == label->hwnd);
    (void)edit;
}

TEST_CASE("check marks: the caption and 20 pixels for the box, scaled; the state")
{
    for (uint32_t dpi : {96u, 144u}) {
        CAPTURE(dpi);
        ControlForm owner(dpi);
        CheckMark* checked = new CheckMark(owner.group, L"Desktop shortcut", 301, true);
        CheckMark* clear = new CheckMark(owner.group, L"Start menu", 302, false);
        CHECK(checked->isChecked());
        CHECK(!clear->isChecked());
        CHECK(checked->id() == 301);
        SIZE text = Extent(owner.form.normalFont(), L"Desktop shortcut");
        int32_t box = MulDiv(20, dpi, 96);
        CHECK(FixedAt(checked->sizeLimits(), text.cx + box, text.cy));
        checked->paddingX = 2;
        CHECK(checked->sizeLimits().minWidth == text.cx + box + 2 * MulDiv(2, dpi, 96));
        clear->setBounds(0, 0, 200, 30); // a click counts inside the button only
        clear->send(BM_CLICK, 0, 0);
        CHECK(clear->isChecked());
    }
}

TEST_CASE("edit lines: one line high with 4 pixels of padding, seven o wide, elastic in width")
{
    for (uint32_t dpi : {96u, 144u}) {
        CAPTURE(dpi);
        ControlForm owner(dpi);
        EditLine* edit = new EditLine(owner.group);
        CHECK(edit->id() == EditLineId);
        CHECK((GetWindowLongW(edit->hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        CHECK((GetWindowLongW(edit->hwnd, GWL_STYLE) & WS_TABSTOP));
        GdiObj font = owner.form.normalFont();
        int32_t height = Extent(font, L"Wy").cy + 2 * MulDiv(4, dpi, 96);
        SizeLimits limits = edit->sizeLimits();
        CHECK(limits.minHeight == height);
        CHECK(limits.maxHeight == height);
        CHECK(std::abs(limits.minWidth - 7 * Extent(font, L"o").cx) <= 1);
        CHECK(limits.maxWidth == Unbounded);
        CHECK(edit->naturalWidth == limits.minWidth);
        CHECK(edit->naturalHeight == height);

        EditText* text = new EditText(owner.group, L"Notes");
        CHECK(text->tooltipText == L"Notes");
        CHECK((GetWindowLongW(text->hwnd, GWL_STYLE) & ES_MULTILINE));
        int32_t line = Extent(font, L"Wy").cy;
        int32_t padding = 2 * MulDiv(4, dpi, 96);
        limits = text->sizeLimits();
        CHECK(limits.minWidth == 50);
        CHECK(limits.minHeight == line + padding);
        CHECK(limits.maxHeight == 1000 * line + padding);
        text->minLines = 3;
        CHECK(text->sizeLimits().minHeight == 3 * line + padding);
    }
}

TEST_CASE("edit lines report Up, Down, Tab, Enter and Esc to their parent")
{
    ControlForm owner(96);
    EditLine* edit = new EditLine(owner.group);
    edit->send(WM_KEYDOWN, VK_UP, 0);
    edit->send(WM_KEYDOWN, VK_DOWN, 0);
    edit->send(WM_CHAR, L'\t', 0);
    edit->send(WM_CHAR, L'\r', 0);
    edit->send(WM_CHAR, 27, 0);
    std::vector<WPARAM> commands = Notifications(owner.form.commands);
    REQUIRE(commands.size() == 5);
    CHECK(commands[0] == MAKEWPARAM(EditLineId, EditLineUp));
    CHECK(commands[1] == MAKEWPARAM(EditLineId, EditLineDown));
    CHECK(commands[2] == MAKEWPARAM(EditLineId, EditLineTab));
    CHECK(commands[3] == MAKEWPARAM(EditLineId, EditLineEnter));
    CHECK(commands[4] == MAKEWPARAM(EditLineId, EditLineEsc));

    // other keys reach the native edit, and nothing is reported
    edit->send(WM_CHAR, L'x', 0);
    edit->send(WM_KEYDOWN, VK_HOME, 0);
    CHECK(edit->getText() == L"x");
    CHECK(Notifications(owner.form.commands).size() == 5);
}

TEST_CASE("WM_GETDLGCODE: the keys an edit claims from the dialog manager")
{
    ControlForm owner(96);
    EditLine* line = new EditLine(owner.group);
    EditText* text = new EditText(owner.group, L"");
    line->setFocus();

    // without special keys the native edit answers; it never claims all keys
    CHECK(DlgCode(line, WM_KEYDOWN, VK_RETURN) != DLGC_WANTALLKEYS);
    line->specialKeys = WantsEnter;
    CHECK(DlgCode(line, WM_KEYDOWN, VK_RETURN) == DLGC_WANTALLKEYS);
    CHECK(DlgCode(line, WM_CHAR, L'\r') == DLGC_WANTALLKEYS);
    CHECK(DlgCode(line, WM_KEYDOWN, VK_TAB) != DLGC_WANTALLKEYS);
    line->specialKeys = WantsTab | WantsEsc;
    CHECK(DlgCode(line, WM_KEYUP, VK_TAB) == DLGC_WANTALLKEYS);
    CHECK(DlgCode(line, WM_CHAR, 27) == DLGC_WANTALLKEYS);
    CHECK(DlgCode(line, WM_KEYDOWN, VK_UP) != DLGC_WANTALLKEYS);
    line->specialKeys = WantsUpDown;
    CHECK(DlgCode(line, WM_KEYDOWN, VK_UP) == DLGC_WANTALLKEYS);
    CHECK(DlgCode(line, WM_KEYUP, VK_DOWN) == DLGC_WANTALLKEYS);
    CHECK(DlgCode(line, WM_CHAR, VK_UP) != DLGC_WANTALLKEYS); // '&' typed, not an arrow
    CHECK(line->send(WM_GETDLGCODE, 0, 0) != DLGC_WANTALLKEYS);

    // a multi-line edit leaves Enter and Tab to the dialog manager unless it claims them
    text->setFocus();
    CHECK(DlgCode(text, WM_KEYDOWN, VK_RETURN) == 0);
    CHECK(DlgCode(text, WM_CHAR, L'\t') == 0);
    CHECK(DlgCode(text, WM_KEYDOWN, L'A') != 0);
    text->specialKeys = WantsEnter;
    CHECK(DlgCode(text, WM_KEYDOWN, VK_RETURN) == DLGC_WANTALLKEYS);
    CHECK(DlgCode(text, WM_KEYDOWN, VK_ESCAPE) != DLGC_WANTALLKEYS);
}

TEST_CASE("in a dialog, Enter goes to the default button unless the edit line claims it")
{
    ControlForm owner(96, FormDialogFrame | FormNoTooltip);
    EditLine* edit = new EditLine(owner.group);
    new Button(owner.group, L"OK", IDOK, L"");
    owner.form.setBounds(100, 100, 400, 300);
    owner.form.show();
    edit->setFocus();
    LPARAM enterScan = 1 | (static_cast<LPARAM>(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC)) << 16);

    PostMessageW(edit->hwnd, WM_KEYDOWN, VK_RETURN, enterScan);
    PumpForm(owner.form);
    std::vector<WPARAM> commands = Notifications(owner.form.commands);
    REQUIRE(commands.size() == 1);
    CHECK(commands[0] == MAKEWPARAM(IDOK, 0));

    owner.form.commands.clear();
    edit->specialKeys = WantsEnter;
    PostMessageW(edit->hwnd, WM_KEYDOWN, VK_RETURN, enterScan);
    PumpForm(owner.form);
    commands = Notifications(owner.form.commands);
    REQUIRE(commands.size() == 1);
    CHECK(commands[0] == MAKEWPARAM(EditLineId, EditLineEnter));
}

TEST_CASE("static texts wrap at a width, in pixels or in average characters")
{
    ControlForm owner(96);
    std::wstring words;
    for (int i = 0; i < 40; i++)
        words += L"word ";
    StaticText* text = new StaticText(owner.group, words.c_str());
    CHECK(text->id() == StaticTextId);
    GdiObj font = owner.form.normalFont();
    int32_t line = Extent(font, L"Wy").cy;
    int32_t oneLine = Extent(font, words.c_str()).cx;

    SizeLimits limits = text->sizeLimits(); // no wrapping
    CHECK(std::abs(limits.minWidth - oneLine) <= 2);
    CHECK(limits.minHeight == line);

    text->wrapWidth = 150;
    limits = text->sizeLimits();
    CHECK(limits.minWidth <= 150);
    CHECK(limits.minWidth > 150 - Extent(font, L"word ").cx);
    CHECK(limits.minHeight >= 4 * line);

    text->wrapWidth = -20;
    int32_t wrap = ((Extent(font, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz").cx + 26) * 20) / 52;
    DrawContext context = text->windowDC();
    context.selectFont(font);
    CHECK(text->wrapPixels(context) == wrap);
    limits = text->sizeLimits();
    CHECK(limits.minWidth <= wrap);
    CHECK(limits.minWidth == limits.maxWidth);
    CHECK(limits.minHeight % line == 0);

    // the window lies inside the paddings and reaches the bottom of its row
    text->paddingX = 5;
    text->paddingY = 3;
    CHECK(text->sizeLimits().minWidth == limits.minWidth + 10);
    CHECK(text->sizeLimits().minHeight == limits.minHeight + 6);
    text->setBounds(10, 10, 210, 110);
    RECT placed = PlacedAt(text);
    CHECK(placed.left == 15);
    CHECK(placed.top == 13);
    CHECK(placed.right == 205);
    CHECK(placed.bottom == 110);
}

TEST_CASE("an icon is centred in a wider column, at the top of a taller row")
{
    ControlForm owner(96);
    StaticIcon* icon = new StaticIcon(owner.group);
    CHECK(FixedAt(icon->sizeLimits(), 0, 0));
    HICON shown = LoadIconW(nullptr, IDI_WARNING);
    CHECK(icon->setIcon(shown, 32, 32) == nullptr);
    CHECK(FixedAt(icon->sizeLimits(), 32, 32));
    CHECK(reinterpret_cast<HICON>(icon->send(STM_GETICON, 0, 0)) == shown);
    icon->setBounds(0, 10, 100, 100);
    RECT placed = PlacedAt(icon);
    CHECK(placed.left == 34);
    CHECK(placed.right == 66);
    CHECK(placed.top == 10);
    CHECK(placed.bottom == 42);
    icon->setBounds(0, 0, 20, 20); // smaller than the icon: the rectangle
    placed = PlacedAt(icon);
    CHECK(placed.right - placed.left == 20);
    CHECK(placed.bottom - placed.top == 20);
    CHECK(icon->setIcon(nullptr, 0, 0) == shown);
}

TEST_CASE("a buttons bar: right-aligned buttons, each two O wide at least")
{
    ControlForm owner(96);
    ButtonsBar* bar = new ButtonsBar(owner.group);
    Button* narrow = new Button(bar, L"A", 50, L"first");
    Button* second = new Button(bar, L"Second", 51, L"");
    Button* third = new Button(bar, L"Third", 52, L"");
    narrow->paddingX = 1; // narrower than two O
    HDC screen = GetDC(owner.form.hwnd);
    SIZE o = {0, 0};
    GetTextExtentPoint32W(screen, L"O", 1, &o);
    ReleaseDC(owner.form.hwnd, screen);

    SizeLimits limits = bar->sizeLimits();
    int32_t first = std::max(narrow->sizeLimits().minWidth, 2 * static_cast<int32_t>(o.cx));
    CHECK(bar->entries.ref(0).width == first);
    int32_t widths = first + second->sizeLimits().minWidth + third->sizeLimits().minWidth;
    CHECK(FixedAt(limits, widths + 16, second->sizeLimits().minHeight + 8));

    bar->marginX = 4;
    bar->marginBottom = 2;
    limits = bar->sizeLimits();
    CHECK(limits.minWidth == widths + 16 + 8);
    bar->setBounds(0, 0, 500, 60);
    RECT thirdAt = PlacedAt(third);
    RECT secondAt = PlacedAt(second);
    CHECK(thirdAt.right == 496);
    CHECK(thirdAt.top == 8);
    CHECK(thirdAt.bottom == 58);
    CHECK(secondAt.right == thirdAt.left - 8);

    // a collapsed button takes no room and the rest close up
    second->collapse();
    CHECK(bar->sizeLimits().minWidth == first + third->sizeLimits().minWidth + 8 + 8);
    bar->setBounds(0, 0, 500, 60);
    CHECK(PlacedAt(narrow).right == PlacedAt(third).left - 8);

    // ids and tooltips come from the buttons; deleting one removes its entry
    owner.form.setBounds(50, 50, 600, 200); // the form lays the bar out in its client area
    owner.form.show();
    RECT onScreen;
    GetWindowRect(narrow->hwnd, &onScreen);
    POINT inside = {onScreen.left + 2, onScreen.top + 2};
    CHECK(bar->idAt(inside) == 50);
    Str tip;
    CHECK(bar->tooltipAt(inside, tip));
    CHECK(tip == L"first");
    delete third;
    CHECK(bar->entries.length() == 2);
    bar->collapse(); // takes no room, and leaves no button behind on the form
    CHECK(FixedAt(bar->sizeLimits(), 0, 0));
    CHECK(!IsWindowVisible(narrow->hwnd));
    bar->uncollapse();
    bar->show();
    CHECK(IsWindowVisible(narrow->hwnd));
}

TEST_CASE("a progress bar: any 64-bit amount in ten-thousandths, 18 pixels high at 96 DPI")
{
    CHECK(ProgressPosition(0, 0) == 0);
    CHECK(ProgressPosition(5, 0) == 0);
    CHECK(ProgressPosition(-1, 10) == 0);
    CHECK(ProgressPosition(1, 2) == 5000);
    CHECK(ProgressPosition(2, 3) == 6666);
    CHECK(ProgressPosition(12, 10) == ProgressRange);
    CHECK(ProgressPosition(INT64_MAX / 2, INT64_MAX) == 5000);
    CHECK(ProgressPosition(INT64_MAX - 1, INT64_MAX) == ProgressRange - 1);
    CHECK(ProgressPosition(INT64_MAX, INT64_MAX) == ProgressRange);

    for (uint32_t dpi : {96u, 144u}) {
        CAPTURE(dpi);
        ControlForm owner(dpi);
        ProgressBar* bar = new ProgressBar(owner.group, 0);
        CHECK(!bar->isShown());
        CHECK(!(GetWindowLongW(bar->hwnd, GWL_STYLE) & WS_TABSTOP));
        CHECK(bar->sizeLimits().minHeight == MulDiv(18, dpi, 96));
        CHECK(bar->sizeLimits().maxHeight == MulDiv(18, dpi, 96));
        bar->setProgress(3LL << 40, 4LL << 40);
        CHECK(bar->position() == 7500);
        bar->setProgress(4, 4);
        CHECK(bar->position() == ProgressRange);
    }
}

TEST_CASE("an annotated control answers a screen reader with its name; the rest is the system's")
{
    ControlForm owner(96);
    owner.form.setBounds(100, 100, 400, 300);
    EditText* plain = new EditText(owner.group, L"&Licence");
    EditText* named = new EditText(owner.group, L"&Licence");
    named->accessible.name = L"Licence";
    AccessibleAnswers answers = ReadAccessible(named->hwnd);
    if (!answers.available) {
        MESSAGE("no accessibility library on this system");
        return;
    }
    CHECK(answers.name == L"Licence");
    CHECK(answers.role == ReadAccessible(plain->hwnd).role); // an editable text either way
    CHECK(ReadAccessible(plain->hwnd).name != L"Licence");
}

} // TEST_SUITE
