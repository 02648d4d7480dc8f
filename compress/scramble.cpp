#include "compress/scramble.h"

void XorBytes(uint8_t* buffer, uint32_t length, uint32_t key) {
    const uint8_t k = static_cast<uint8_t>(key);
    if (k == 0) return;
    for (uint32_t i = 0; i < length; ++i)
        buffer[i] ^= k;
}
