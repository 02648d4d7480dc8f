/* Loads COMCTL32.DLL by its bare name with the default search order, as an installer without
 * protection would: the control run that shows a planted DLL is picked up at all. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    return LoadLibraryA("COMCTL32.DLL") != NULL ? 0 : 1;
}
