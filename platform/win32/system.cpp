// Process-wide calls over the Windows API.
#include <windows.h>

#include "platform/system.h"
#include "platform/win32/internal.h"

PlatInstance g_instance = 0;

void PlatSleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}

PlatInstance PlatGetInstance() {
    return g_instance;
}
