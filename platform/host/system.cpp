// Host system calls: Sleep on a virtual clock (tests) or for real (the demo).
#include <unistd.h>

#include "platform/host/host.h"
#include "platform/host/sim_internal.h"
#include "platform/system.h"

namespace {
PlatInstance instance = 1;  // stands for the module handle of the installer
}

void PlatSleep(uint32_t milliseconds) {
    HostLog("Sleep(%u)", milliseconds);
    if (SimVirtualClock())
        SimAdvanceClock(milliseconds);
    else
        usleep(milliseconds * 1000u);
}

PlatInstance PlatGetInstance() {
    return instance;
}
