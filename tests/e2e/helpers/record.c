/* A stand-in for the program a document type is associated with. It appends one line to
 * record.log beside itself: its command line, a tab, and the first line of the document named
 * by its last argument (or "<unreadable>"), so a test can see what was started and that the
 * document was there. It opens the document as a viewer does, for reading and sharing it for
 * reading only. With the environment variable SS_RECORD_HOLD set to a number of seconds it then
 * keeps the document open for that long, so that it cannot be deleted. */
#include <windows.h>

static char line[4096];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    char log_path[MAX_PATH];
    char document[MAX_PATH];
    char content[256];
    char hold_text[16];
    DWORD length = GetModuleFileNameA(NULL, log_path, MAX_PATH);
    const char* command = GetCommandLineA();
    const char* last;
    HANDLE file;
    DWORD read = 0;
    int n;
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    while (length > 0 && log_path[length - 1] != '\\')
        --length;
    lstrcpyA(log_path + length, "record.log");

    /* The document is the last argument; quotes around it are dropped. */
    last = command + lstrlenA(command);
    while (last > command && last[-1] == ' ')
        --last;
    n = 0;
    if (last > command && last[-1] == '"') {
        const char* start = last - 1;
        while (start > command && start[-1] != '"')
            --start;
        n = (int)(last - 1 - start);
        if (n >= MAX_PATH) n = MAX_PATH - 1;
        lstrcpynA(document, start, n + 1);
    } else {
        const char* start = last;
        while (start > command && start[-1] != ' ')
            --start;
        n = (int)(last - start);
        if (n >= MAX_PATH) n = MAX_PATH - 1;
        lstrcpynA(document, start, n + 1);
    }

    file = CreateFileA(document, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    lstrcpyA(content, "<unreadable>");
    if (file != INVALID_HANDLE_VALUE && ReadFile(file, content, sizeof content - 1, &read, NULL)) {
        DWORD i;
        content[read] = 0;
        for (i = 0; i < read; ++i)
            if (content[i] == '\r' || content[i] == '\n') content[i] = 0;
    }

    wsprintfA(line, "%s\t%s\r\n", command, content);
    {
        HANDLE log = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written;
        if (log != INVALID_HANDLE_VALUE) {
            WriteFile(log, line, (DWORD)lstrlenA(line), &written, NULL);
            CloseHandle(log);
        }
    }
    if (file != INVALID_HANDLE_VALUE &&
        GetEnvironmentVariableA("SS_RECORD_HOLD", hold_text, sizeof hold_text) > 0) {
        MSG message;
        DWORD seconds = 0;
        DWORD start = GetTickCount();
        const char* p;
        for (p = hold_text; *p >= '0' && *p <= '9'; ++p)
            seconds = seconds * 10 + (DWORD)(*p - '0');
        /* Waits as a program with a message loop does: the program that started this one (WinExec
         * waits until the new program is idle) goes on meanwhile. */
        while (GetTickCount() - start < seconds * 1000) {
            while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
        }
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}
