// The show's music through the system's media player (MCI): the pieces in order, looped. A
// machine without a sound device stays silent.
#pragma once

#include <windows.h>

// Starts the first piece; MM_MCINOTIFY messages go to `window`, which passes them on to
// OnMusicNotify. Does nothing for a show without music.
void StartMusic(HWND window);
void OnMusicNotify(HWND window, WPARAM flags);
// Stops playing and deletes the temporary file.
void StopMusic();
