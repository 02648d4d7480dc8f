// The installer's one pass: settings, title, confirmation, the build (directly or inside the
// progress dialog), the follow-up action, the focus and the removal of the opened document.
#pragma once

// Runs once, from the start message, after the payload check passed. Returns 0.
int MainFlow();

// InstallerTitle from the screen saver's file name less its extension (tests).
void FormInstallerTitle();

// Every module of the installer back to its state at program start (tests).
void ResetInstallerState();
