// Window, message and dialog calls over the Windows API. A PlatWindow carries the HWND value.
#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>

#include "platform/system.h"
#include "platform/ui.h"

static_assert(sizeof(PlatWindow) == sizeof(HWND), "a PlatWindow holds an HWND");
static_assert(sizeof(uintptr_t) == sizeof(WPARAM) && sizeof(intptr_t) == sizeof(LPARAM),
              "message parameters pass through unchanged");

// The procedure of the one window class the installer registers; the class's WNDPROC forwards
// to it. One slot is enough: the hidden main window's class is the only one registered.
static PlatWindowProc g_window_proc = nullptr;
// The procedure handed to the latest PlatDialogBox, until its dialog receives its first message
// and keeps the procedure in its own DWLP_USER slot.
static PlatWindowProc g_pending_dialog_proc = nullptr;

static HWND ToHwnd(PlatWindow window) {
    return reinterpret_cast<HWND>(window);
}

static PlatWindow FromHwnd(HWND window) {
    return reinterpret_cast<PlatWindow>(window);
}

static HINSTANCE Instance() {
    return reinterpret_cast<HINSTANCE>(PlatGetInstance());
}

// A class registered without a procedure still gets the default handling.
static LRESULT CALLBACK WindowTrampoline(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (g_window_proc == nullptr) return DefWindowProcA(window, message, wparam, lparam);
    return g_window_proc(FromHwnd(window), message, wparam, lparam);
}

int PlatRegisterClass(const char* class_name, uint32_t class_style, PlatWindowProc proc,
                      int icon_id, int background) {
    g_window_proc = proc;
    HINSTANCE instance = Instance();
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = class_style;
    window_class.lpfnWndProc = WindowTrampoline;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(icon_id));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(background));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = class_name;
    window_class.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(icon_id), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    return RegisterClassExA(&window_class) != 0;
}

PlatWindow PlatCreateWindow(uint32_t ex_style, const char* class_name, const char* title,
                            uint32_t style) {
    return FromHwnd(CreateWindowExA(ex_style, class_name, title, style, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                    Instance(), nullptr));
}

int PlatPostMessage(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    return PostMessageA(ToHwnd(window), message, wparam, lparam) != 0;
}

intptr_t PlatSendMessage(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    return SendMessageA(ToHwnd(window), message, wparam, lparam);
}

static void CopyMessage(const MSG& from, PlatMessage* out) {
    out->window = FromHwnd(from.hwnd);
    out->message = from.message;
    out->wparam = from.wParam;
    out->lparam = from.lParam;
}

int PlatGetMessage(PlatMessage* out) {
    // With no window filter GetMessageA cannot fail (-1 needs a bad window handle), so every
    // non-zero result is a message to dispatch.
    MSG message = {};
    BOOL result = GetMessageA(&message, nullptr, 0, 0);
    CopyMessage(message, out);
    return result != 0;
}

int PlatPeekMessage(PlatMessage* out) {
    MSG message = {};
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return 0;
    CopyMessage(message, out);
    return 1;
}

void PlatDispatchMessage(const PlatMessage* message) {
    // The time and cursor position are those of the message just taken from the queue, which
    // is the one being dispatched.
    MSG full = {};
    full.hwnd = ToHwnd(message->window);
    full.message = message->message;
    full.wParam = message->wparam;
    full.lParam = message->lparam;
    full.time = static_cast<DWORD>(GetMessageTime());
    DWORD position = GetMessagePos();
    full.pt.x = static_cast<short>(LOWORD(position));
    full.pt.y = static_cast<short>(HIWORD(position));
    TranslateMessage(&full);
    DispatchMessageA(&full);
}

intptr_t PlatDefWindowProc(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    return DefWindowProcA(ToHwnd(window), message, wparam, lparam);
}

int PlatDestroyWindow(PlatWindow window) {
    return DestroyWindow(ToHwnd(window)) != 0;
}

void PlatPostQuitMessage(int code) {
    PostQuitMessage(code);
}

int PlatMessageBox(PlatWindow owner, const char* text, const char* caption, uint32_t style,
                   int icon_id) {
    MSGBOXPARAMSA params = {};
    params.cbSize = sizeof(params);
    params.hwndOwner = ToHwnd(owner);
    params.hInstance = Instance();
    params.lpszText = text;
    params.lpszCaption = caption;
    params.dwStyle = style;
    params.lpszIcon = MAKEINTRESOURCEA(icon_id);
    params.dwContextHelpId = 0;
    params.lpfnMsgBoxCallback = nullptr;
    params.dwLanguageId = 0;
    return MessageBoxIndirectA(&params);
}

int PlatSetForegroundWindow(PlatWindow window) {
    return SetForegroundWindow(ToHwnd(window)) != 0;
}

void PlatPaintNow(PlatWindow window) {
    RedrawWindow(ToHwnd(window), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

int PlatEndDialog(PlatWindow dialog, intptr_t result) {
    return EndDialog(ToHwnd(dialog), result) != 0;
}

// Every dialog of PlatDialogBox runs this procedure. A dialog's first message (WM_SETFONT, before
// WM_INITDIALOG) arrives before any other dialog can be started, so it takes the pending
// procedure; an owner dialog of a nested one already holds its own.
static INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    PlatWindowProc proc = reinterpret_cast<PlatWindowProc>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (proc == nullptr) {
        proc = g_pending_dialog_proc;
        if (proc == nullptr) return FALSE;
        g_pending_dialog_proc = nullptr;
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(proc));
    }
    return proc(FromHwnd(dialog), message, wparam, lparam);
}

intptr_t PlatDialogBox(int template_id, PlatWindow owner, PlatWindowProc proc, intptr_t param) {
    g_pending_dialog_proc = proc;
    INT_PTR result = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(template_id), ToHwnd(owner),
                                     DialogTrampoline, param);
    // A template that cannot be found leaves the procedure unclaimed.
    g_pending_dialog_proc = nullptr;
    return result;
}

PlatWindow PlatGetDlgItem(PlatWindow dialog, int control_id) {
    return FromHwnd(GetDlgItem(ToHwnd(dialog), control_id));
}

int PlatSetWindowText(PlatWindow window, const char* text) {
    return SetWindowTextA(ToHwnd(window), text) != 0;
}

int PlatGetWindowText(PlatWindow window, char* buffer, int size) {
    return GetWindowTextA(ToHwnd(window), buffer, size);
}

PlatWindow PlatGetDesktopWindow() {
    return FromHwnd(GetDesktopWindow());
}

int PlatGetWindowRect(PlatWindow window, PlatRect* rect) {
    RECT area;
    if (!GetWindowRect(ToHwnd(window), &area)) return 0;
    rect->left = area.left;
    rect->top = area.top;
    rect->right = area.right;
    rect->bottom = area.bottom;
    return 1;
}

int PlatMoveWindow(PlatWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                   int repaint) {
    return MoveWindow(ToHwnd(window), x, y, width, height, repaint) != 0;
}

PlatWindow PlatGetWindow(PlatWindow window, uint32_t relation) {
    return FromHwnd(GetWindow(ToHwnd(window), relation));
}

int PlatIsWindow(PlatWindow window) {
    return IsWindow(ToHwnd(window)) != 0;
}

int PlatIsIconic(PlatWindow window) {
    return IsIconic(ToHwnd(window)) != 0;
}

int PlatIsWindowVisible(PlatWindow window) {
    return IsWindowVisible(ToHwnd(window)) != 0;
}

int32_t PlatGetWindowLong(PlatWindow window, int index) {
    return GetWindowLongA(ToHwnd(window), index);
}

// Casts a looked-up address to the function it is; going through void (*)() tells the compiler
// that the signature is known to the caller, not to GetProcAddress.
template <typename Function>
static Function ProcAs(FARPROC address) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

void PlatRestrictDllSearch() {
    // Looked up at run time: systems without the DLL-search update lack the call, and keep the
    // old order.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel == nullptr) return;
    SetDefaultDllDirectoriesCall restrict_search =
        ProcAs<SetDefaultDllDirectoriesCall>(GetProcAddress(kernel, "SetDefaultDllDirectories"));
    if (restrict_search != nullptr) restrict_search(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int PlatInitCommonControls(uint32_t classes) {
    // Reached by name so that the program starts on systems whose COMCTL32.DLL predates
    // InitCommonControlsEx; the library stays loaded for the progress bar class it registers.
    typedef BOOL(WINAPI * InitCommonControlsExCall)(const INITCOMMONCONTROLSEX*);
    HMODULE comctl = LoadLibraryA("COMCTL32.DLL");
    if (comctl == nullptr) return 0;
    InitCommonControlsExCall init =
        ProcAs<InitCommonControlsExCall>(GetProcAddress(comctl, "InitCommonControlsEx"));
    if (init == nullptr) return 0;
    INITCOMMONCONTROLSEX record;
    record.dwSize = sizeof(record);
    record.dwICC = classes;
    init(&record);
    return 1;
}
