// The show's settings for the person at the screen: kept per user under
// HKEY_CURRENT_USER\Software\ssinstaller\<saver name>, changed in the "/c" dialog.
#pragma once

#include <windows.h>

#include "saver/show_plan.h"

// The author's settings of Show with what this user stored laid over them.
ShowSettings LoadShowSettings(const char* name);

// The dialog, starting from `LoadShowSettings`; OK stores, Cancel does not. Returns 1 on OK.
int RunSettingsDialog(HINSTANCE instance, HWND owner, const char* name);

// Removes this user's settings of the saver `name` (and the ssinstaller key when it is empty).
void DeleteShowSettings(const char* name);
