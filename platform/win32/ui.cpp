// Window, message and dialog calls over the Windows API. A PlatWindow carries the HWND value.
#include <windows.h>

#include "platform/system.h"
#include "platform/ui.h"

static_assert(sizeof(PlatWindow) == sizeof(HWND), "a PlatWindow holds an HWND");
static_assert(sizeof(uintptr_t) == sizeof(WPARAM) && sizeof(intptr_t) == sizeof(LPARAM),
              "message parameters pass through unchanged");

// The procedure of the one window class the installer registers; the class's WNDPROC forwards
// to it. One slot is enough: the hidden main window's class is the only one registered.
static PlatWindowProc g_window_proc = nullptr;

static HWND ToHwnd(PlatWindow window) {
    return reinterpret_cast<HWND>(window);
}

static PlatWindow FromHwnd(HWND window) {
    return reinterpret_cast<PlatWindow>(window);
}

static HINSTANCE Instance() {
    return reinterpret_cast<HINSTANCE>(PlatGetInstance());
}

// Messages sent while RegisterClassExA has not yet returned, or to a class registered without
// a procedure, still get the default handling.
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
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
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

int PlatEndDialog(PlatWindow dialog, intptr_t result) {
    return EndDialog(ToHwnd(dialog), result) != 0;
}
