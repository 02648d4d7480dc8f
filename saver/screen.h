// The saver's window: full screen (/s) or inside the preview window of the display settings
// (/p). Either way it draws the MOVIE stretched over its area and cycles its palette.
#pragma once

#include <windows.h>

// Creates the window (full screen when `preview_parent` is null, else a child filling that
// window's client area), runs the message loop until it is gone, and returns 0. `title` is the
// window's caption, the saver's name. The MOVIE comes from MovieBytes (saver/payload.h); without
// a valid one the window is black and shows the title.
int RunSaverWindow(HINSTANCE instance, HWND preview_parent, const char* title);
