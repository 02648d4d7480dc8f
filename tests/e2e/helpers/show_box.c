/* Wine's own message box as a control: shows the text given on the command line (one argument;
 * the quotes Wine puts around it are dropped) in a plain MessageBoxA with the information icon,
 * captioned "Control". */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    int length = lstrlenA(arguments);
    (void)instance;
    (void)previous;
    (void)show;
    if (length >= 2 && arguments[0] == '"' && arguments[length - 1] == '"') {
        arguments[length - 1] = '\0';
        ++arguments;
    }
    MessageBoxA(NULL, arguments, "Control", MB_OK | MB_ICONINFORMATION);
    return 0;
}
