// The installer's only main window: a painted banner with the logo and the headline, the
// installation directory with Browse, the shortcut check boxes, Install, the all-users button, and
// a bottom bar with Licence and Exit. Install hides the controls and shows the progress of the
// installation in two status lines painted on the window's own background and a progress bar
// under them (and on the taskbar button); the window keeps answering meanwhile.
#ifndef LUMIVO_INSTALLER_MAINFORM_H
#define LUMIVO_INSTALLER_MAINFORM_H

#include "core/Str.h"
#include "gui/Form.h"
#include "gui/GdiObj.h"
#include "gui/OwnedIcon.h"
#include "gui/TaskbarProgress.h"

#include <windows.h>

class Button;
class CheckMark;
class EditLine;
class ElasticGroup;
class ProgressBar;
struct InstallHost;

// Command ids of the main form.
enum : uint32_t {
    CommandInstall = 1,
    CommandExit = 2,
    DirectoryFieldId = 40004,
    CommandBrowse = 40005,
    CommandLicence = 40006,
    CommandAllUsers = 40007,
    StartMenuBoxId = 40008,
    DesktopBoxId = 40009,
};

enum : uint32_t { IconResourceId = 101 };
enum : int32_t { LogoSide = 32 }; // the banner's logo, in pixels at 96 DPI

class MainForm : public Form {
public:
    // Builds the window from the install script's settings. In update mode it installs at once
    // and stays hidden. Raises Abort after telling the user that the script names no program or
    // no executable.
    MainForm();
    ~MainForm() override;
    // The background behind the buttons, labels and check boxes is the form's own backdrop.
    void defaultProc(MessageRecord& record) override;
    void onPaint(MessageRecord& record) override;
    // The close box asks whether to cancel the installation.
    void onClose(MessageRecord& record) override;
    void onCommand(MessageRecord& record) override;

    // Shows the two status lines and repaints before returning.
    void setStatus(const Str& line1, const Str& line2);
    // The status setter of the installation procedure for this form.
    static void SetStatusOf(InstallHost& host, const Str& line1, const Str& line2);
    // Its progress setter.
    static void SetProgressOf(InstallHost& host, int64_t done, int64_t total);
    static void AnswerWhileWaiting(InstallHost& host);

    GdiObj headlineFont;
    GdiObj copyrightFont;
    ElasticGroup* rootGroup = nullptr;  // the content, owned by the form
    EditLine* directoryField = nullptr; // owned by its group
    Str statusLine1;
    Str statusLine2;
    CheckMark* startMenuBox = nullptr;
    CheckMark* desktopBox = nullptr;
    HBRUSH backgroundBrush = nullptr; // owned
    bool brushReady = false;
    ElasticGroup* settingsGroup = nullptr;
    Button* installButton = nullptr;
    OwnedIcon logoIcon;                 // the application's icon at the logo's size
    int32_t logoSize = 0;               // pixels, at the form's DPI
    ProgressBar* progressBar = nullptr; // owned; placed by hand under the status lines
    TaskbarProgress taskbarProgress;
    bool installing = false;            // the installation runs: only the cancel question is answered
    InstallHost* runningHost = nullptr; // the running installation's host, where Cancel goes
    uint64_t lastPumpTick = 0;          // when the installation last let the window answer
    int64_t shownDone = -1;             // the progress shown last

    // Shows done out of total on the progress bar and the taskbar button, then handles the waiting
    // messages, so that the window repaints and answers.
    void setProgress(int64_t done, int64_t total);
    void answerNowAndThen();

private:
    // The banner's fonts and logo at the form's DPI; the Install button gets the new headline font.
    void makeBannerPieces();
    void placeProgressBar();
    void buildControls();
    void fitWindow();
    void runCommand(uint32_t id);
    void onInstall();
    void confirmCancel();
    void installNow();
    void drawBackdrop(DrawContext& context);
    void rebuildBackgroundBrush();
};

#endif
