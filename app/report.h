// How the installer talks to the user: the caption of every box and dialog, the one message
// box, and the single path by which a text reaches the user (at most one report per run).
#pragma once

#include <stdint.h>

#include "platform/types.h"

constexpr int kIconId = 200;
constexpr uint32_t kTitleSize = 64;
extern const char kDamagedInstallerText[];

extern PlatWindow MainWindow;            // the hidden main window; owner of every message box
extern char InstallerTitle[kTitleSize];  // caption of every box and dialog (63 chars + NUL)
extern int InstallSucceeded;             // set by the build when it ends with nothing latched
extern PlatWindow ProgressDialog;        // the open progress dialog, 0 when none

// MessageBoxIndirectA owned by the main window with icon 200; returns IDOK, IDYES, IDNO ...
int ShowMessage(const char* text, const char* caption, uint32_t style);

// Shows `text` (when not empty) unless a report was shown already; closes the progress dialog
// first in any case.
void ReportOnce(const char* text);

// Brings the progress dialog to the front, waits 500 ms and ends it; nothing when none is open.
void CloseProgressDialog();

// Back to the state at program start (tests).
void ResetReports();
