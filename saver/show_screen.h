// The picture show on the screen: every monitor shows the show fitted to it (/s), or the
// preview window shows it in miniature (/p).
#pragma once

#include <windows.h>

// Runs the show of Show (saver/payload.h) with `settings`, full screen when `preview_parent` is
// null, else inside that window until it goes away. `title` is the window's caption. Returns 0.
int RunShowWindow(HINSTANCE instance, HWND preview_parent, const char* title,
                  const struct ShowSettings* settings);
