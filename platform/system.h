// Process-wide system calls of the installer.
#pragma once

#include "platform/types.h"

// Sleep. On the host in tests the pause is recorded on a virtual clock instead of waited.
void PlatSleep(uint32_t milliseconds);

// The instance handle given to the program's entry.
PlatInstance PlatGetInstance();
