// Input that ends the saver, and the 9x screen saver password.
//
// On Windows 95, 98 and ME a saver asks for the password that Display Properties set before it
// ends: the check lives in PASSWORD.CPL (VerifyScreenSavePwd), the change in MPR.DLL
// (PwdChangePasswordA), both loaded from the system folder. NT asks on its own desktop.
#include "saver/input.h"

#include "saver/system.h"

// Mouse movement smaller than this, in pixels either way, does not end the saver: mice and
// touch pads jitter, and Windows sends a move when the window appears under the pointer.
constexpr int kMouseSlack = 4;

static int MouseSeen;     // 1 once the first mouse position has been taken
static POINT FirstMouse;  // where the pointer was when the saver first saw it
static int Checking;      // 1 while the password box stands: input then belongs to it
static int Running9x;     // 1 after SPI_SCREENSAVERRUNNING was set on

typedef BOOL(WINAPI* VerifyPasswordCall)(HWND);
typedef DWORD(WINAPI* ChangePasswordCall)(LPCSTR, HWND, DWORD, LPVOID);

void BeginSaverInput() {
    MouseSeen = 0;
    Checking = 0;
    if (IsWindows9x()) {
        UINT old = 0;
        Running9x = SystemParametersInfoA(SPI_SCREENSAVERRUNNING, TRUE, &old, 0) != 0;
    }
}

void EndSaverInput() {
    if (!Running9x) return;
    UINT old = 0;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, FALSE, &old, 0);
    Running9x = 0;
}

// 9x with the password box ticked in Display Properties.
static int PasswordWanted() {
    if (!IsWindows9x()) return 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return 0;
    DWORD value = 0, size = sizeof value, type = 0;
    const LONG result = RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

// 1 when the saver may end: no password is wanted, or it was given. A password that is wanted
// but cannot be checked (PASSWORD.CPL missing) lets the saver end, as Windows' own savers do.
static int MayEnd(HWND window) {
    if (!PasswordWanted()) return 1;
    HMODULE cpl = LoadSystemDll("password.cpl");
    const VerifyPasswordCall verify = SystemProc<VerifyPasswordCall>(cpl, "VerifyScreenSavePwd");
    if (!verify) {
        if (cpl) FreeLibrary(cpl);
        return 1;
    }
    Checking = 1;  // the arrow shows over the box meanwhile
    const BOOL given = verify(window);
    Checking = 0;
    FreeLibrary(cpl);
    MouseSeen = 0;  // the pointer moved while the box stood
    return given != FALSE;
}

static void End(HWND window) {
    if (MayEnd(window)) DestroyWindow(window);
}

static int MovedFar(LPARAM lparam) {
    const POINT at = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    if (!MouseSeen) {
        MouseSeen = 1;
        FirstMouse = at;
        return 0;
    }
    return at.x - FirstMouse.x > kMouseSlack || FirstMouse.x - at.x > kMouseSlack ||
           at.y - FirstMouse.y > kMouseSlack || FirstMouse.y - at.y > kMouseSlack;
}

int HandleSaverInput(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (!Checking) End(window);
            return 1;
        case WM_MOUSEMOVE:
            if (!Checking && MovedFar(lparam)) End(window);
            return 1;
        case WM_ACTIVATEAPP:
            if (wparam == FALSE && !Checking) End(window);
            return 1;
        case WM_SETCURSOR:
            SetCursor(Checking ? LoadCursor(nullptr, IDC_ARROW) : nullptr);
            return 1;
        case WM_SYSCOMMAND:
            // A second saver must not start over a running one.
            return (wparam & 0xFFF0) == SC_SCREENSAVE;
        default:
            return 0;
    }
}

void ChangeSaverPassword(HWND owner) {
    HMODULE mpr = LoadSystemDll("mpr.dll");
    const ChangePasswordCall change = SystemProc<ChangePasswordCall>(mpr, "PwdChangePasswordA");
    if (change) change("SCRSAVE", owner, 0, nullptr);
    if (mpr) FreeLibrary(mpr);
}
