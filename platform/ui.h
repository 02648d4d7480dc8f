// Window, message and dialog calls of the installer. The values are the Win32 ones, named here
// so that code above the platform layer never includes <windows.h>.
#pragma once

#include "platform/types.h"

// Messages.
constexpr uint32_t kWmCreate = 0x0001;
constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmPaint = 0x000F;
constexpr uint32_t kWmQuit = 0x0012;
constexpr uint32_t kWmInitDialog = 0x0110;
constexpr uint32_t kWmCommand = 0x0111;
constexpr uint32_t kWmUser = 0x0400;

// Message box styles and results, dialog results.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbUserIcon = 0x80;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Class and window styles used by the installer's hidden window.
constexpr uint32_t kCsHRedraw = 0x0002;
constexpr uint32_t kCsVRedraw = 0x0001;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsSysMenu = 0x00080000;
constexpr uint32_t kWsMinimizeBox = 0x00020000;
constexpr int kColorWindow = 5;

// The class of the installer's main window. Win32: RegisterClassExA with the given style and
// procedure, no extra bytes, large icon `icon_id`, small icon `icon_id` at the system's small-icon
// size, the arrow cursor, background brush `background` (a COLOR_ value + 1), no menu.
int PlatRegisterClass(const char* class_name, uint32_t class_style, PlatWindowProc proc,
                      int icon_id, int background);

// CreateWindowExA(ex_style, class, title, style, CW_USEDEFAULT x4, no parent, no menu, no
// parameter). WM_CREATE reaches the window procedure before this returns.
PlatWindow PlatCreateWindow(uint32_t ex_style, const char* class_name, const char* title,
                            uint32_t style);

int PlatPostMessage(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
intptr_t PlatSendMessage(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// GetMessageA over all windows of the thread: 0 when the quit message arrives, else 1.
int PlatGetMessage(PlatMessage* out);

// PeekMessageA(any window, any message, PM_REMOVE): 1 when a message was taken.
int PlatPeekMessage(PlatMessage* out);

// TranslateMessage followed by DispatchMessageA.
void PlatDispatchMessage(const PlatMessage* message);

intptr_t PlatDefWindowProc(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
int PlatDestroyWindow(PlatWindow window);
void PlatPostQuitMessage(int code);

// MessageBoxIndirectA: owner, this program's instance, text, caption, style, icon resource
// `icon_id` (the style carries MB_USERICON), no help, language 0. Returns IDOK, IDYES, IDNO ...
int PlatMessageBox(PlatWindow owner, const char* text, const char* caption, uint32_t style,
                   int icon_id);

int PlatSetForegroundWindow(PlatWindow window);

// FindWindowA(no class, title): a top-level window whose title is exactly `title`, or 0.
PlatWindow PlatFindWindow(const char* title);
// GetParent: the window a window belongs to, or 0.
PlatWindow PlatGetParent(PlatWindow window);
int PlatEndDialog(PlatWindow dialog, intptr_t result);
