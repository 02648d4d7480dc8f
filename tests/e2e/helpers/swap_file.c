/* Another program acting while the installer asks its question: opens the installer (argument
 * 1) for writing and writes the other file's tail (argument 2) over its own, renames it away (to
 * argument 1 + ".old"), then moves the other file over its name, and prints what each attempt
 * gave: "write=W rename=R replace=P", 1 for success, 0 for failure. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    char moved[MAX_PATH + 8];
    int written = 0, renamed, replaced;
    HANDLE own, other;
    if (argc != 3 || lstrlenA(argv[1]) >= MAX_PATH) return 2;
    wsprintfA(moved, "%s.old", argv[1]);
    own =
        CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, 0, NULL);
    other = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (own != INVALID_HANDLE_VALUE && other != INVALID_HANDLE_VALUE) {
        static char tail[65536];
        DWORD size = GetFileSize(other, NULL), own_size = GetFileSize(own, NULL), got = 0, put = 0;
        DWORD n = size < sizeof tail ? size : sizeof tail;
        /* The other payload's directory and last entries, over this one's. */
        if (n <= own_size &&
            SetFilePointer(other, (LONG)(size - n), NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
            ReadFile(other, tail, n, &got, NULL) && got == n &&
            SetFilePointer(own, (LONG)(own_size - n), NULL, FILE_BEGIN) !=
                INVALID_SET_FILE_POINTER &&
            WriteFile(own, tail, n, &put, NULL) && put == n)
            written = 1;
    }
    if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    renamed = MoveFileExA(argv[1], moved, 0) != 0;
    replaced = MoveFileExA(argv[2], argv[1], MOVEFILE_REPLACE_EXISTING) != 0;
    printf("write=%d rename=%d replace=%d\n", written, renamed, replaced);
    return 0;
}
