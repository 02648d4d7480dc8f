/* A stand-in for a signing tool: it appends each of its arguments, as its C runtime split the
 * command line, on a line of args.txt beside itself, then fails, so that the caller reports the
 * failure and leaves no output. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    FILE* out;
    int i;
    while (length > 0 && path[length - 1] != '\\')
        --length;
    strcpy(path + length, "args.txt");
    out = fopen(path, "a");
    if (!out) return 2;
    for (i = 1; i < argc; ++i)
        fprintf(out, "%s\n", argv[i]);
    fclose(out);
    return 3;
}
