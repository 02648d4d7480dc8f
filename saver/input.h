// What ends a full-screen saver: a key, a click, the mouse moved beyond a few pixels, another
// program activated; on Windows 9x only once the screen saver password has been given.
#pragma once

#include <windows.h>

// Starts a full-screen run: forgets the mouse's first position and, on 9x, tells Windows that a
// saver runs (which keeps Ctrl+Alt+Del and the task switch from getting past the password).
void BeginSaverInput();
void EndSaverInput();

// Handles `message` for a full-screen saver's window. 1 when it was input that ends the saver
// (the window is then destroyed) or input that was swallowed; 0 for other messages.
int HandleSaverInput(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// "/a": the 9x dialog that changes the screen saver password, owned by `owner`.
void ChangeSaverPassword(HWND owner);
