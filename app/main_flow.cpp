#include "app/main_flow.h"

#include <string.h>

#include "app/build.h"
#include "app/dialogs.h"
#include "app/followup.h"
#include "app/report.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

constexpr uint32_t kExtensionLength = 4;  // ".scr"
constexpr uint32_t kDirectBuildPause = 50;

// Yes/No with the standard labels is a message box; other labels need dialog 1030.
int Confirmed() {
    if (Settings.question[0] == '\0') return 1;
    if (strcmp(Settings.yes_label, "Yes") == 0 && strcmp(Settings.no_label, "No") == 0)
        return ShowMessage(Settings.question, InstallerTitle, kMbYesNo) == kIdYes;
    return AskConfirmation();
}

void RunBuild() {
    if (Settings.show_progress && Settings.progress_text[0] != '\0') {
        // A missing library or function is ignored: the dialog then cannot be created, never
        // paints, and no build runs.
        PlatInitCommonControls(kIccProgressClass);
        PlatDialogBox(kProgressDialogId, MainWindow, ProgressDialogProc, 0);
    } else {
        BuildScreenSaver();
        PlatSleep(kDirectBuildPause);
    }
}

}  // namespace

// A name shorter than its extension (only the built-in default "1") gives an empty title.
void FormInstallerTitle() {
    uint32_t length = static_cast<uint32_t>(strlen(Settings.ScreenSaverFileName));
    length = length > kExtensionLength ? length - kExtensionLength : 0;
    if (length > kTitleSize - 1) length = kTitleSize - 1;
    memcpy(InstallerTitle, Settings.ScreenSaverFileName, length);
    InstallerTitle[length] = '\0';
}

int MainFlow() {
    LoadSettings();
    FormInstallerTitle();
    if (Confirmed()) RunBuild();
    int refocus = !InstallSucceeded;
    if (InstallSucceeded && RunFollowUpAction()) refocus = 1;
    if (refocus) RefocusTopWindow();
    RemoveOpenedDocument();
    return 0;
}

void ResetInstallerState() {
    ResetReports();
    ResetSettings();
    ResetDialogs();
    ResetBuild();
    RemovalPending = 0;
    ReleaseOwnFile();
    OwnFileHoldFailed = 0;
}
