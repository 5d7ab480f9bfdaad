#include "installer/MainForm.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ShowError.h"
#include "gui/AlertDialog.h"
#include "gui/Button.h"
#include "gui/CheckMark.h"
#include "gui/Color.h"
#include "gui/Dpi.h"
#include "gui/EditLine.h"
#include "gui/ElasticGroup.h"
#include "gui/Label.h"
#include "gui/ProgressBar.h"
#include "gui/Space.h"
#include "gui/WorkArea.h"
#include "installer/ElevatedRelaunch.h"
#include "installer/FolderBrowser.h"
#include "installer/InstallHost.h"
#include "installer/InstallLog.h"
#include "installer/InstallProgram.h"
#include "installer/InstallerSwitches.h"
#include "installer/LicenceDialog.h"
#include "script/InstallScript.h"

#include <commctrl.h>

static const wchar_t* FailedInstallation()
{
    return Tr(L"Nieudana instalacja.", L"Failed instalation");
}

MainForm::MainForm()
{
    if (Script.programName.isEmpty() || Script.exeFile.isEmpty()) {
        // The window does not exist yet: the alert has no owner.
        ShowAlert(nullptr,
                  Script.programName.isEmpty()
                      ? Tr(L"W pliku \"INSTALL.SCRIPT\" nie ma nazwy programu.",
                           L"There is no program name in the \"INSTALL.SCRIPT\" file.")
                      : Tr(L"W pliku \"INSTALL.SCRIPT\" nie ma nazwy pliku wykonywalnego.",
                           L"There is no executable file name in the \"INSTALL.SCRIPT\" file."),
                  L"Lumivo", L"+OK", AlertWarning);
        throw Abort();
    }
    AppInstance(); // InternalError without a context, before any window exists
    initForm(FormDialogFrame, L"Main Form", nullptr, 104);
    Str title = Script.titleText.isEmpty() ? DefaultHeadline() : Script.titleText;
    setTitle(title.text());
    loadIcon(IconResourceId);

    rootGroup = new ElasticGroup(0, this);
    rootGroup->spacing = 12;
    rootGroup->marginX = 12;
    rootGroup->marginY = 12;
    setBounds(60, 60, 610, 510);
    rebuildFonts(0); // the DPI of the monitor that holds the window
    makeBannerPieces();
    buildControls();
    progressBar = new ProgressBar(this, Unmanaged);
    if (Script.updateMode)
        settingsGroup->hide();
    fitWindow();

    if (Script.updateMode) {
        rootGroup->hide();
        installNow();
        hide();
        return;
    }
    show();
    installButton->setFocus();
    enableDialogKeys();
}

MainForm::~MainForm()
{
    delete progressBar;
    progressBar = nullptr;
    if (backgroundBrush)
        DeleteObject(backgroundBrush);
}

void MainForm::makeBannerPieces()
{
    GdiObj headline;
    headline.makeBoldFont(L"Arial CE", scaled(24));
    GdiObj copyright;
    copyright.makeBoldFont(L"Arial CE", scaled(18));
    if (installButton)
        installButton->setFont(headline);
    headlineFont = headline;
    copyrightFont = copyright;
    // The icon's own image of this size where it has one: crisp at every common scale.
    logoSize = scaled(LogoSide);
    logoIcon.reset(LoadModuleIcon(AppInstance(), IconResourceId, logoSize, logoSize));
}

// Under the second status line, as wide as the lines may be.
void MainForm::placeProgressBar()
{
    if (!progressBar)
        return;
    RECT client = clientRect();
    DrawContext context = windowDC();
    context.selectFont(normalFont());
    int32_t top = scaled(108) + 2 * context.textExtent(L" ", 1).cy + scaled(12);
    SizeLimits limits = progressBar->sizeLimits();
    progressBar->setBounds(scaled(64), top, client.right - scaled(64), top + limits.minHeight);
}

void MainForm::buildControls()
{
    new Space(rootGroup, -1, 60); // room for the banner

    settingsGroup = new ElasticGroup(0, rootGroup);
    settingsGroup->spacing = 12;
    settingsGroup->marginX = 64;
    new Label(settingsGroup, Tr(L"&Katalog docelowy instalacji:", L"Install &directory:"));
    ElasticGroup* directoryRow = new ElasticGroup(1, settingsGroup);
    new Space(directoryRow, 32, -1);
    directoryField = new EditLine(directoryRow);
    directoryField->setText(Script.installDir.text());
    new Button(directoryRow, Tr(L"&Przeglądaj...", L"&Browse"), CommandBrowse, L"");

    if (!Script.startMenuText.isEmpty() || !Script.desktopText.isEmpty() || !Script.sendToText.isEmpty()) {
        new Label(settingsGroup, Tr(L"Utwórz skróty:", L"Create shortcuts:"));
        ElasticGroup* shortcutRow = new ElasticGroup(1, settingsGroup);
        new Space(shortcutRow, 32, -1);
        ElasticGroup* boxes = new ElasticGroup(0, shortcutRow);
        boxes->spacing = 12;
        if (!Script.startMenuText.isEmpty())
            startMenuBox = new CheckMark(boxes, Tr(L"w Menu &Start", L"in the &Start Menu"), StartMenuBoxId,
                                         Script.startMenuShortcut);
        if (!Script.desktopText.isEmpty())
            desktopBox = new CheckMark(boxes, Tr(L"na P&ulpicie", L"&on Desktop"), DesktopBoxId,
                                       Script.desktopShortcut);
        new Space(shortcutRow);
    }
    new Space(settingsGroup, -1, 10);

    ElasticGroup* installRow = new ElasticGroup(1, settingsGroup);
    installRow->alignment = 1;
    installRow->marginY = 12;
    installButton = new Button(installRow, Tr(L"    &Instaluj    ", L"    &Install    "), CommandInstall, L"");
    installButton->send(BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    installButton->setFont(headlineFont);

    if (Script.offerAllUsers) {
        ElasticGroup* allUsersRow = new ElasticGroup(1, settingsGroup);
        allUsersRow->alignment = 1;
        allUsersRow->marginY = 12;
        Button* allUsers = new Button(
            allUsersRow, Tr(L"Instalator dla &wszytkich użytkowników", L"Installer for &all users"), CommandAllUsers, L"");
        allUsers->send(BCM_SETSHIELD, 0, 1);
        allUsers->paddingX = 24;
        allUsers->paddingY = 0;
    } else {
        new Space(settingsGroup, 0, 50);
    }

    ElasticGroup* bottomRow = new ElasticGroup(1, rootGroup);
    bottomRow->spacing = 8;
    new Space(bottomRow);
    new Button(bottomRow, Tr(L"&Licencja", L"&Licence"), CommandLicence, L"");
    new Button(bottomRow, Tr(L"&Nie instaluj", L"&Exit"), CommandExit, L"");
}

// As high as the content needs, at least 550 wide, centred on its monitor.
void MainForm::fitWindow()
{
    SizeLimits limits = sizeLimits();
    RECT bounds = {scaled(60), scaled(60), scaled(610), scaled(60) + limits.minHeight};
    if (bounds.right - bounds.left < limits.minWidth)
        bounds.right = bounds.left + limits.minWidth;
    bounds = CentreRectInWorkArea(bounds);
    setBounds(bounds.left, bounds.top, bounds.right, bounds.bottom);
}

void MainForm::setStatus(const Str& line1, const Str& line2)
{
    statusLine1 = line1;
    statusLine2 = line2;
    invalidate();
    update();
}

void MainForm::SetStatusOf(InstallHost& host, const Str& line1, const Str& line2)
{
    static_cast<MainForm*>(host.owner)->setStatus(line1, line2);
}

void MainForm::SetProgressOf(InstallHost& host, int64_t done, int64_t total)
{
    static_cast<MainForm*>(host.owner)->setProgress(done, total);
}

// The copying runs on this thread: between two steps the bar moves and the window repaints and
// answers (the system would mark it "Not Responding" otherwise), a few dozen times a second, which
// is often enough for the eye and saves a repaint and a look for messages after each of thousands
// of small files. Nothing but the cancel question can start.
enum : uint64_t { AnswerEveryMs = 25 };

void MainForm::setProgress(int64_t done, int64_t total)
{
    // The first and the last value are shown at once; the last may be told again for every line of
    // the journal that is finished afterwards, which is then no reason to look for messages.
    uint64_t now = GetTickCount64();
    bool edge = (done == 0 || done >= total) && done != shownDone;
    if (now - lastPumpTick < AnswerEveryMs && !edge)
        return;
    shownDone = done;
    if (progressBar && shown && !progressBar->isShown()) {
        placeProgressBar();
        progressBar->show();
    }
    if (progressBar)
        progressBar->setProgress(done, total);
    taskbarProgress.show(hwnd, done, total);
    lastPumpTick = now;
    pumpMessages();
}

void MainForm::AnswerWhileWaiting(InstallHost& host)
{
    static_cast<MainForm*>(host.owner)->answerNowAndThen();
}

void MainForm::answerNowAndThen()
{
    uint64_t now = GetTickCount64();
    if (now - lastPumpTick < AnswerEveryMs)
        return;
    lastPumpTick = now;
    pumpMessages();
}

void MainForm::installNow()
{
    InstallHost host;
    host.form = this;
    host.owner = this;
    host.setStatus = SetStatusOf;
    host.setProgress = SetProgressOf;
    host.whileWaiting = AnswerWhileWaiting;
    host.writeLog = LogToInstallLog;
    runningHost = &host;
    installing = true;
    try {
        InstallProgram(host);
    } catch (const Abort&) {
    } catch (const Error& error) {
        setStatus(Str(FailedInstallation()), Str());
        ShowError(this, FailedInstallation(), error);
    }
    installing = false;
    runningHost = nullptr;
    taskbarProgress.clear(hwnd);
}

void MainForm::onInstall()
{
    Script.installDir = directoryField->getText();
    Script.startMenuShortcut = startMenuBox && startMenuBox->send(BM_GETCHECK, 0, 0) == BST_CHECKED;
    Script.desktopShortcut = desktopBox && desktopBox->send(BM_GETCHECK, 0, 0) == BST_CHECKED;
    Script.sendToShortcut = false;
    rootGroup->hide();
    installNow();
    quitLoop(); // there is no way back to the controls
}

void MainForm::confirmCancel()
{
    if (installing && (!runningHost || runningHost->cancelRequested))
        return; // the question was answered Yes already
    try {
        if (alert(Tr(L"Chcesz zrezygnować z instalacji programu?",
                     L"Do you want to cancel the program installation?"),
                  L"Lumivo", Tr(L"+Tak|-Nie", L"+Yes|-No"), AlertWarning) != 0)
            return;
        if (installing)
            // The installation stops at its next file and undoes what it wrote; onInstall then
            // ends the loop.
            runningHost->cancelRequested = true;
        else
            quitLoop();
    } catch (const Error& error) {
        ShowError(this, Tr(L"Błąd - Lumivo", L"Error - Lumivo"), error);
    }
}

void MainForm::onClose(MessageRecord& record)
{
    confirmCancel();
}

void MainForm::runCommand(uint32_t id)
{
    // While the installation runs the controls are gone, but Enter, Esc and the mnemonics still
    // reach this form: only Esc (the cancel question) is answered.
    if (installing && id != CommandExit)
        return;
    switch (id) {
    case CommandInstall:
        onInstall();
        break;
    case CommandExit:
        confirmCancel();
        break;
    case CommandBrowse:
        BrowseForDirectory(*this);
        break;
    case CommandLicence:
        ShowLicence(*this);
        break;
    case CommandAllUsers:
        // The relaunch reports its own failures; this window closes either way.
        RelaunchElevated(this, AllUsersParameters().text());
        quitLoop();
        break;
    }
}

void MainForm::onCommand(MessageRecord& record)
{
    try {
        runCommand(LOWORD(record.wParam));
    } catch (const Abort&) {
    } catch (const Error& error) {
        ShowError(this, Tr(L"Błąd - Lumivo", L"Error - Lumivo"), error);
    }
}

void MainForm::onPaint(MessageRecord& record)
{
    DrawContext context;
    context.openPaintDC(handle());
    drawBackdrop(context);
}

void MainForm::drawBackdrop(DrawContext& context)
{
    RECT client = clientRect();
    HDC dc = context.dc();
    // White and black, unless a high-contrast theme asks for its own colours.
    bool contrast = HighContrastOn();
    RECT banner = {client.left, client.top, client.right, scaled(60)};
    context.fillSolid(banner, contrast ? GetSysColor(COLOR_WINDOW) : RGB(255, 255, 255));
    SetTextColor(dc, contrast ? GetSysColor(COLOR_WINDOWTEXT) : RGB(0, 0, 0));

    context.selectFont(headlineFont);
    if (!Script.titleText.isEmpty()) {
        context.textOut(scaled(58), scaled(8), Script.titleText.text(), Script.titleText.length());
    } else {
        // The default headline in three pieces, the program's name in the middle.
        const wchar_t* before = Tr(L"Instalator programu ", L"");
        const wchar_t* after = Tr(L"", L" Setup");
        const wchar_t* pieces[] = {before, Script.programName.text(), after};
        int32_t x = scaled(58);
        for (const wchar_t* piece : pieces) {
            int64_t length = TextLength(piece);
            context.textOut(x, scaled(8), piece, length);
            x += context.textExtent(piece, length).cx;
        }
    }
    int32_t headlineHeight = context.textExtent(L"W", 1).cy;
    context.selectFont(copyrightFont);
    context.textOut(scaled(100), scaled(12) + headlineHeight, Script.copyrightText.text(),
                    Script.copyrightText.length());

    // The lower area is lightest in the middle.
    RECT lower = client;
    lower.top = scaled(60);
    RECT left = lower, right = lower;
    left.right = right.left = client.right / 2;
    context.gradientFill(left, 1, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_WINDOW));
    context.gradientFill(right, 1, GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_BTNFACE));

    // The band behind Licence and Exit.
    int32_t lineHeight = context.lineHeight();
    RECT band = client;
    band.top = client.bottom - (scaled(18) + (lineHeight * 14 + 4) / 8);
    context.fillSolid(band, GetSysColor(COLOR_BTNFACE));

    context.selectFont(normalFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    static const wchar_t signature[] = L"Lumivo by Quenbar";
    context.textOut(scaled(12), client.bottom - scaled(12) - context.lineHeight(), signature, TextLength(signature));
    if (!statusLine1.isEmpty())
        context.textOut(scaled(64), scaled(96), statusLine1.text(), statusLine1.length());
    if (!statusLine2.isEmpty())
        context.textOut(scaled(64), scaled(108) + context.textExtent(L" ", 1).cy, statusLine2.text(),
                        statusLine2.length());

    if (logoIcon)
        DrawIconEx(dc, scaled(10), scaled(10), logoIcon.get(), logoSize, logoSize, 0, nullptr, DI_NORMAL);
}

void MainForm::rebuildBackgroundBrush()
{
    try {
        RECT client = clientRect();
        DrawContext window = windowDC();
        DrawContext memory;
        memory.openMemoryDC(&window);
        GdiObj picture;
        picture.makeCompatibleBitmap(window, client.right, client.bottom);
        HGDIOBJ previous = SelectObject(memory.dc(), picture.handle());
        try {
            drawBackdrop(memory);
        } catch (...) {
            SelectObject(memory.dc(), previous);
            throw;
        }
        SelectObject(memory.dc(), previous);
        HBRUSH brush = CreatePatternBrush(picture.bitmap());
        if (brush) {
            if (backgroundBrush)
                DeleteObject(backgroundBrush);
            backgroundBrush = brush;
            brushReady = true;
        }
    } catch (...) {
        // The controls keep their own background until the next attempt.
    }
}

void MainForm::defaultProc(MessageRecord& record)
{
    switch (record.message) {
    case WM_SIZE:
        Form::defaultProc(record);
        rebuildBackgroundBrush();
        if (progressBar && progressBar->isShown())
            placeProgressBar();
        return;
    case WM_DPICHANGED:
        // The banner follows first, so that the layout measures the Install button in its new font.
        setDpi(HIWORD(record.wParam));
        try {
            makeBannerPieces();
        } catch (const Error&) {
            // the banner keeps its pieces of the old scale
        }
        Form::defaultProc(record);
        rebuildBackgroundBrush();
        if (progressBar && progressBar->isShown())
            placeProgressBar();
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        return;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        Form::defaultProc(record);
        if (!brushReady)
            rebuildBackgroundBrush();
        if (backgroundBrush) {
            HDC dc = reinterpret_cast<HDC>(record.wParam);
            POINT origin = clientToScreen(POINT{0, 0});
            RECT control;
            GetWindowRect(reinterpret_cast<HWND>(record.lParam), &control);
            SetBkMode(dc, TRANSPARENT);
            SetBrushOrgEx(dc, origin.x - control.left, origin.y - control.top, nullptr);
            record.result = reinterpret_cast<LRESULT>(backgroundBrush);
        }
        return;
    }
    default:
        Form::defaultProc(record);
    }
}
