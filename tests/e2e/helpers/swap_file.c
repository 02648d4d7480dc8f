/* Another program acting while the installer asks its question: renames the installer away
 * (argument 1 to argument 1 + ".old"), then moves another file (argument 2) over its name, and
 * prints what each attempt gave: "rename=R replace=P", 1 for success, 0 for failure. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    char moved[MAX_PATH + 8];
    int renamed, replaced;
    if (argc != 3 || lstrlenA(argv[1]) >= MAX_PATH) return 2;
    wsprintfA(moved, "%s.old", argv[1]);
    renamed = MoveFileExA(argv[1], moved, 0) != 0;
    replaced = MoveFileExA(argv[2], argv[1], MOVEFILE_REPLACE_EXISTING) != 0;
    printf("rename=%d replace=%d\n", renamed, replaced);
    return 0;
}
