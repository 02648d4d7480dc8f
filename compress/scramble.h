// One-byte XOR scrambling of entry data. Stored entries whose record carries a key are kept
// XORed with it; the transfer engine and the block stream's input undo it on the way.
#pragma once

#include <stdint.h>

// XORs each of `length` bytes with the low byte of `key`. Applying it twice restores the bytes.
void XorBytes(uint8_t* buffer, uint32_t length, uint32_t key);
