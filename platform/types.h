// Types shared by the platform layer and the code above it. No operating-system header is
// included here: the Win32 implementation maps these onto its own types.
#pragma once

#include <stddef.h>
#include <stdint.h>

// An open file. Win32: the HANDLE value; host: the POSIX descriptor. kInvalidFile stands for
// "none" and equals INVALID_HANDLE_VALUE on Windows.
typedef intptr_t FileHandle;
constexpr FileHandle kInvalidFile = -1;

// A window (HWND on Windows, an index into the simulated window table on the host); 0 is none.
typedef intptr_t PlatWindow;

// The module instance that holds the resources (icon 200, dialogs 1010 and 1030).
typedef intptr_t PlatInstance;

// Window and dialog procedures of the installer. The result is LRESULT for a window procedure
// and the BOOL result for a dialog procedure.
typedef intptr_t (*PlatWindowProc)(PlatWindow window, uint32_t message, uintptr_t wparam,
                                   intptr_t lparam);

// A queued message, as GetMessageA and PeekMessageA hand it out.
struct PlatMessage {
    PlatWindow window;
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};
