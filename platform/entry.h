// The program above the platform layer: the platform's entry (WinMain on Windows, main on the
// host) stores the instance and hands control to this function, whose result is the exit code.
#pragma once

#include "platform/types.h"

int InstallerMain(PlatInstance instance);
