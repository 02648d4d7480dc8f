// The Windows entry. The installer reads no command line, never shows its window, has no static
// constructors and uses no C stdio, so the C runtime's start-up (argument parsing, stdio and
// thread-local set-up, exception handler registration) would only add size: the image starts
// here. msvcrt.dll, which the string calls use, initialises itself when the loader maps it.
#include <windows.h>

#include "platform/entry.h"
#include "platform/win32/internal.h"

// The loader may call the entry with a stack aligned to 4 bytes only (i686); realign it for the
// code below, which assumes the usual alignment.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void InstallerEntry() {
    g_instance = reinterpret_cast<PlatInstance>(GetModuleHandleA(nullptr));
    ExitProcess(static_cast<UINT>(InstallerMain(g_instance)));
}
