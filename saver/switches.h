// The command line a screen saver receives, reduced to what to do and for which window.
//
// Windows starts a screen saver with one switch and sometimes a window number:
//   /s            run full screen                      (also "-s", "/S", "/s:anything")
//   /c, /c:1234   settings box, owned by window 1234   (also "/c 1234"; no switch at all)
//   /p 1234       draw the preview inside window 1234  (also "/p:1234")
//   /a 1234       change the screen saver password (Windows 95, 98 and ME)
//   /U            uninstall: the command the installer registers
// Switch letters are taken in any case, after '/' or '-'; what follows the number is ignored.
// This file is plain C++ without any operating-system header so that the host tests run it.
#pragma once

#include <stdint.h>

enum SaverMode {
    kSaverConfigure = 0,  // settings/about box; also the mode without a switch
    kSaverFullScreen,     // /s
    kSaverPreview,        // /p; `window` 0 when the number is missing or malformed
    kSaverPassword,       // /a
    kSaverUninstall,      // /u
    kSaverUnknown,        // any other switch or text
};

struct SaverSwitches {
    SaverMode mode;
    uintptr_t window;  // the window number given with the switch, 0 when none
};

// Reads the command line after the program name (WinMain's command line). Never fails: text it
// cannot read becomes kSaverUnknown, a missing or bad number becomes window 0.
SaverSwitches ParseSaverSwitches(const char* command_line);
