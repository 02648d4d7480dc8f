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

// Progress bar messages, GetWindow relations, window long index, extended styles.
constexpr uint32_t kPbmSetRange = 0x0401;
constexpr uint32_t kPbmSetPos = 0x0402;
constexpr uint32_t kGwHwndNext = 2;
constexpr uint32_t kGwChild = 5;
constexpr int kGwlExStyle = -20;
constexpr uint32_t kWsExTopmost = 0x00000008;
constexpr uint32_t kIccProgressClass = 0x00000020;

// Class and window styles used by the installer's hidden window.
constexpr uint32_t kCsHRedraw = 0x0002;
constexpr uint32_t kCsVRedraw = 0x0001;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsSysMenu = 0x00080000;
constexpr uint32_t kWsMinimizeBox = 0x00020000;
constexpr uint32_t kWsVisible = 0x10000000;
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

// RedrawWindow(window, no rectangle, no region, RDW_UPDATENOW | RDW_ALLCHILDREN): paints what
// is pending in the window and its controls now, before the caller holds the thread.
void PlatPaintNow(PlatWindow window);

// FindWindowA(no class, title): a top-level window whose title is exactly `title`, or 0.
PlatWindow PlatFindWindow(const char* title);
// GetParent: the window a window belongs to, or 0.
PlatWindow PlatGetParent(PlatWindow window);
int PlatEndDialog(PlatWindow dialog, intptr_t result);

// DialogBoxParamA(this program's instance, template `template_id`, owner, proc, param): runs the
// dialog modally and returns the value given to EndDialog, or -1 when it cannot be created.
intptr_t PlatDialogBox(int template_id, PlatWindow owner, PlatWindowProc proc, intptr_t param);
PlatWindow PlatGetDlgItem(PlatWindow dialog, int control_id);
int PlatSetWindowText(PlatWindow window, const char* text);
// GetWindowTextA into `size` bytes; returns the length copied.
int PlatGetWindowText(PlatWindow window, char* buffer, int size);

struct PlatRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
PlatWindow PlatGetDesktopWindow();
int PlatGetWindowRect(PlatWindow window, PlatRect* rect);
int PlatMoveWindow(PlatWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                   int repaint);

// GetWindow with GW_CHILD or GW_HWNDNEXT: walks the top-level windows in Z order.
PlatWindow PlatGetWindow(PlatWindow window, uint32_t relation);
int PlatIsWindow(PlatWindow window);
int PlatIsIconic(PlatWindow window);
int PlatIsWindowVisible(PlatWindow window);
int32_t PlatGetWindowLong(PlatWindow window, int index);

// Restricts the DLL search of this process to the system directory where the system offers it
// (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32, reached at run time).
void PlatRestrictDllSearch();
// Loads COMCTL32.DLL from the system directory and calls its InitCommonControlsEx with a record
// of size 8 and `classes`. 1 when the function was found and called; the library is kept.
int PlatInitCommonControls(uint32_t classes);
