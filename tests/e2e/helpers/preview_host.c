/* Stands in for the preview of Display Properties: a top-level window titled "Preview Host"
 * whose client area (160 x 120 pixels, magenta) receives a screen saver's preview. It starts
 * "SAVER /p <its window number>", keeps its window for SECONDS seconds, closes it, and appends
 * to preview.log beside itself: "child CLASS WxH" for the window the saver put into its client
 * area (looked at after 3 s), then "ended" when the saver ends within 10 s of the close, else
 * "running". (Wine 8 does not show what another process draws into a child window, so the
 * log, not a screenshot, tells where the preview went.)
 *
 *   preview_host.exe SAVER SECONDS */
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

static void NoteChild(HWND host) {
    char line[128], name[64] = "";
    HWND child = GetWindow(host, GW_CHILD);
    RECT area = {0, 0, 0, 0};
    if (child) {
        GetClassNameA(child, name, sizeof name);
        GetClientRect(child, &area);
    }
    wsprintfA(line, "child %s %ldx%ld", child ? name : "none", area.right, area.bottom);
    Note(line);
}

static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == 2) {
        KillTimer(window, 2);
        NoteChild(window);
        return 0;
    }
    if (message == WM_TIMER) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    static char saver[MAX_PATH], command[MAX_PATH + 64];
    WNDCLASSA host_class = {0};
    RECT frame = {0, 0, 160, 120};
    STARTUPINFOA start = {sizeof start};
    PROCESS_INFORMATION process;
    HWND host;
    MSG message;
    int seconds = 0, length = 0;
    DWORD path_length = GetModuleFileNameA(NULL, log_path, MAX_PATH);
    (void)previous;
    (void)show;
    while (path_length > 0 && log_path[path_length - 1] != '\\')
        --path_length;
    lstrcpyA(log_path + path_length, "preview.log");
    /* The saver's path, up to the last blank; the seconds after it. */
    lstrcpynA(saver, arguments, MAX_PATH);
    length = lstrlenA(saver);
    while (length > 0 && saver[length - 1] != ' ')
        --length;
    if (length == 0) return 2;
    saver[length - 1] = '\0';
    /* A path with blanks arrives quoted. */
    if (saver[0] == '"' && length > 2 && saver[length - 2] == '"') {
        saver[length - 2] = '\0';
        lstrcpyA(saver, saver + 1);
    }
    for (const char* p = arguments + length; *p >= '0' && *p <= '9'; ++p)
        seconds = seconds * 10 + (*p - '0');

    host_class.lpfnWndProc = HostProc;
    host_class.hInstance = instance;
    host_class.lpszClassName = "StandInPreviewHost";
    host_class.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));
    RegisterClassA(&host_class);
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    host = CreateWindowA(
        "StandInPreviewHost", "Preview Host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0,
        0, frame.right - frame.left, frame.bottom - frame.top, NULL, NULL, instance, NULL);
    wsprintfA(command, "\"%s\" /p %lu", saver, (unsigned long)(ULONG_PTR)host);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &start, &process)) {
        Note("not started");
        return 1;
    }
    Note("started");
    SetTimer(host, 2, 3000, NULL);
    SetTimer(host, 1, (UINT)seconds * 1000, NULL);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Note(WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0 ? "ended" : "running");
    return 0;
}
