/* Prints the version resource of a file as Windows reads it (GetFileVersionInfo and
   VerQueryValue, what file properties and the elevation prompt use): one "Key: value" line per
   string, then the fixed file version. Usage: version_info FILE */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    static const char* const keys[] = {"FileDescription", "ProductName", "CompanyName",
                                       "FileVersion", "ProductVersion"};
    DWORD handle = 0;
    DWORD size = argc == 2 ? GetFileVersionInfoSizeA(argv[1], &handle) : 0;
    static char data[65536];
    if (size == 0 || size > sizeof data || !GetFileVersionInfoA(argv[1], 0, size, data)) {
        printf("no version resource\n");
        return 1;
    }
    for (int i = 0; i < 5; ++i) {
        char path[96];
        char* value = NULL;
        UINT length = 0;
        snprintf(path, sizeof path, "\\StringFileInfo\\040904B0\\%s", keys[i]);
        if (VerQueryValueA(data, path, (void**)&value, &length)) printf("%s: %s\n", keys[i], value);
    }
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    if (VerQueryValueA(data, "\\", (void**)&fixed, &length))
        printf("FileVersion number: %lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
               fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
               fixed->dwFileVersionLS & 0xFFFF);
    return 0;
}
