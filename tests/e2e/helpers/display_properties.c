/* A stand-in for "Display Properties" with a screen saver's settings dialog open: a top-level
 * window titled "Display Properties" and a window it owns, titled with the name given as the
 * first argument (as the settings dialog of that screen saver is). It appends one line per event
 * to dp.log beside itself: "ready" once both windows show, "cancel" when the owned window gets
 * WM_COMMAND with IDCANCEL (it then closes), and "quit" when its message loop ends on WM_QUIT. */
#include <windows.h>

static char log_path[MAX_PATH];

static void Note(const char* text) {
    HANDLE file = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written;
    if (file == INVALID_HANDLE_VALUE) return;
    WriteFile(file, text, (DWORD)lstrlenA(text), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

static LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        Note("cancel");
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    WNDCLASSA main_class = {0};
    WNDCLASSA settings_class = {0};
    HWND display_properties;
    HWND settings;
    MSG message;
    DWORD length = GetModuleFileNameA(NULL, log_path, MAX_PATH);
    (void)previous;
    (void)show;
    while (length > 0 && log_path[length - 1] != '\\')
        --length;
    lstrcpyA(log_path + length, "dp.log");

    main_class.lpfnWndProc = DefWindowProcA;
    main_class.hInstance = instance;
    main_class.lpszClassName = "StandInDisplayProperties";
    main_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    RegisterClassA(&main_class);
    settings_class.lpfnWndProc = SettingsProc;
    settings_class.hInstance = instance;
    settings_class.lpszClassName = "StandInSaverSettings";
    settings_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    RegisterClassA(&settings_class);

    display_properties = CreateWindowExA(0, "StandInDisplayProperties", "Display Properties",
                                         WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 440, NULL,
                                         NULL, instance, NULL);
    settings = CreateWindowExA(0, "StandInSaverSettings", arguments,
                               WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 80, 120, 300, 200,
                               display_properties, NULL, instance, NULL);
    if (!display_properties || !settings) return 1;
    Note("ready");
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Note("quit");
    return 0;
}
