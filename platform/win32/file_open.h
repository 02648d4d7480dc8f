// The one CreateFileA of the Win32 file opens, shared by files.cpp and launch.cpp; never
// included above the platform.
#pragma once

#include <stdint.h>

#include "platform/types.h"

// CreateFileA(path, access, sharing, no security attributes, disposition, flags, no template).
// Kept out of line, so that each open costs the stub a call, not a copy of seven arguments.
__attribute__((noinline)) FileHandle Win32CreateFile(const char* path, uint32_t access,
                                                     uint32_t sharing, uint32_t disposition,
                                                     uint32_t flags);
