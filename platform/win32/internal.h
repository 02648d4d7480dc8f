// State the Win32 platform files share among themselves; never included above the platform.
#pragma once

#include "platform/types.h"

// The module that holds the resources (icon 200, the dialogs), stored by the entry point.
extern PlatInstance g_instance;
