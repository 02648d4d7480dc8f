// Shared between the parts of the host simulation; not for code above the platform layer.
#pragma once

#include <stdint.h>

#include <string>

#include "platform/host/host.h"

// "-" while no module file was set (the running executable is reported), "" to fail the call.
const std::string& SimModuleFileName();

// Counts a call of `kind`; true when it is the one to fail (and the bytes it still moves).
bool SimCallFails(HostCall kind, uint32_t* short_count);
// Of `count` bytes to write, how many fit the simulated disk.
uint32_t SimDiskAllows(uint32_t count);

bool SimTakeAnswer(int* answer);
// A file some handle holds open with read-only sharing (PlatOpenReadLocked).
bool SimFileLocked(const std::string& real_path);
void SimRecordBox(const HostMessageBox& box);

bool SimVirtualClock();
void SimAdvanceClock(uint32_t ms);

// Parts of the simulation that are linked in register how they go back to their start;
// HostReset calls them all. Returns true, so that a registration can initialise a constant.
bool SimAddResetHook(void (*reset)());
