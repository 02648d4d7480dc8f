// The Windows entry: keeps the instance for the resource calls and runs the installer. The
// previous instance, the command line and the show state are of no use to a program that reads
// no options and never shows its window.
#include <windows.h>

#include "platform/entry.h"
#include "platform/win32/internal.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = reinterpret_cast<PlatInstance>(instance);
    return InstallerMain(g_instance);
}
