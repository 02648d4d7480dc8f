// Start-up: the hidden main window, its start message and the check of the program's own
// payload archive.
#pragma once

#include <stdint.h>

#include "platform/types.h"

constexpr uint32_t kStartMessage = 0x401;  // WM_USER + 1, posted once by WM_CREATE
extern const char kMainClassName[];        // "SsInstaller", also the window's name

// 1 to go on (the payload opened, or the file itself could not be read), 0 to stop after the
// damaged-installer message (the file was read but holds no valid directory).
int CheckInstallerArchive();

// The installer's own file, held open from the start of the run to its end with read-only
// sharing, so that no one can write, rename or replace it while the user is asked and the build
// reads it; kInvalidFile when not held. OwnFileHoldFailed is 1 when the hold was tried and
// failed (the path did not fit, or another program has the file open for writing): the build
// then fails as for a file that cannot be opened.
extern FileHandle OwnFile;
extern int OwnFileHoldFailed;
void HoldOwnFile();
void ReleaseOwnFile();

intptr_t MainWindowProc(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
