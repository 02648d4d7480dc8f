#include "app/report.h"

#include "platform/system.h"
#include "platform/ui.h"

const char kDamagedInstallerText[] =
    "The installer file appears to be damaged. Please get a fresh copy.";

PlatWindow MainWindow;            // set on WM_CREATE
char InstallerTitle[kTitleSize];  // empty until the settings give the name
int InstallSucceeded;             // outcome of the build
PlatWindow ProgressDialog;        // set by the progress dialog when it initialises

namespace {
int report_pending = 1;  // cleared by the first report shown
}

void ResetReports() {
    MainWindow = 0;
    InstallerTitle[0] = '\0';
    InstallSucceeded = 0;
    ProgressDialog = 0;
    report_pending = 1;
}

int ShowMessage(const char* text, const char* caption, uint32_t style) {
    return PlatMessageBox(MainWindow, text, caption, style | kMbUserIcon, kIconId);
}

void ReportOnce(const char* text) {
    if (text[0] == '\0') return;
    CloseProgressDialog();
    if (!report_pending) return;
    report_pending = 0;
    ShowMessage(text, InstallerTitle, kMbOk);
}

void CloseProgressDialog() {
    if (!ProgressDialog) return;
    PlatSetForegroundWindow(ProgressDialog);
    PlatSleep(500);
    PlatEndDialog(ProgressDialog, 1);
    ProgressDialog = 0;
}
