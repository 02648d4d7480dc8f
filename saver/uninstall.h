// "/U": takes back what the installer did for this screen saver, then says so in a box.
#pragma once

// Deletes the uninstall key "SOFTWARE\Microsoft\Windows\CurrentVersion\UnInstall\<file name>"
// under HKEY_LOCAL_MACHINE, clears SCRNSAVE.EXE in [boot] of system.ini when it names this file
// (by its long or its 8.3 path) and switches the screen saver off then, and removes the file:
// at once when the system lets a running program's file go, otherwise at the next restart.
// `name` is the caption and the subject of the closing message box. Returns 1 when the file is
// gone or will go at the restart, 0 when it stays.
int UninstallSaver(const char* name);
