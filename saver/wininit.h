// The removal at restart on Windows 9x, where MoveFileExA does not exist: a line NUL=<8.3 path>
// in the [Rename] section of WinInit.Ini, which Windows carries out and empties at its next
// start. Plain C++ without any operating-system header, so that the host tests run it.
#pragma once

#include <stdint.h>

// Adds "NUL=<path>\r\n" to the [Rename] section of the WinInit.Ini text of `size` bytes in `text`
// (a buffer of `capacity` bytes), keeping every other line, other programs' NUL= lines among
// them. The section is made at the end when there is none. Returns the text's new size: `size`
// itself when the line is there already (any case), 0 when the text would not fit.
uint32_t AddRemovalLine(char* text, uint32_t size, uint32_t capacity, const char* path);
