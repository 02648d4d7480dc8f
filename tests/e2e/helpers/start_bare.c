/* Control program of the planted-program test: starts Rundll32 and notepad.exe by their bare
 * names with WinExec, as a program that trusts the search order does. Placed beside the planted
 * programs, it shows that the test sees a planted program run when one is picked up. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    WinExec("Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1", SW_SHOWNORMAL);
    WinExec("notepad.exe control.txt", SW_SHOWNORMAL);
    Sleep(2000);
    return 0;
}
