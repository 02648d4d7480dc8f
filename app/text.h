// Texts built piece by piece inside fixed buffers. The installer formats nothing else, so it
// carries no printf of the C runtime (and none of the runtime's helpers that come with one).
#pragma once

#include <stdint.h>

// Appends `length` bytes of `text` at `*at` in `out` of `size` bytes and keeps `out`
// NUL-terminated; moves `*at` past them. 0, with `out` unchanged, when they do not fit with the
// NUL.
int Append(char* out, uint32_t size, uint32_t* at, const char* text, uint32_t length);

// Appends a NUL-terminated text as Append does.
int AppendText(char* out, uint32_t size, uint32_t* at, const char* text);

// Appends `value` in decimal, with leading zeros to at least `digits` digits, as Append does.
int AppendNumber(char* out, uint32_t size, uint32_t* at, uint32_t value, uint32_t digits);
