// KeyStreamCipher. Every user keys it afresh and runs one stream to its end, so the single
// module-level instance never carries state from one user to the next.
#include "archive/cipher.h"

#include <string.h>

KeyStreamCipher Cipher;  // the one cipher of the program

void SetCipherKey(const char* text) {
    Cipher.R = 0;
    Cipher.S = 0;
    size_t length = strlen(text);
    if (length >= sizeof Cipher.key) {
        memcpy(Cipher.key, text, sizeof Cipher.key);
    } else {
        memset(Cipher.key, 0, sizeof Cipher.key);
        memcpy(Cipher.key, text, length + 1);
    }
}

// All arithmetic is on 16-bit words; products keep their low 16 bits.
void KeystreamStep() {
    uint16_t v = 0;
    uint16_t w = 0;
    uint16_t r = Cipher.R;
    uint16_t s = Cipher.S;
    for (uint16_t i = 0; i < 5; ++i) {
        uint16_t k = static_cast<uint16_t>(Cipher.key[2 * i] << 8 | Cipher.key[2 * i + 1]);
        w ^= k;
        uint16_t s_prev = s;
        s = static_cast<uint16_t>(w * 346u);
        r = static_cast<uint16_t>((r + i) * 20021u + s + s_prev);
        w = static_cast<uint16_t>(w * 20021u + 1u);
        v ^= r ^ w;
    }
    Cipher.R = r;
    Cipher.S = s;
    Cipher.V = v;
}

void CipherBytes(uint8_t* buffer, uint32_t length, int direction) {
    for (uint32_t n = 0; n < length; ++n) {
        KeystreamStep();
        uint8_t m = static_cast<uint8_t>((Cipher.V >> 8) ^ (Cipher.V & 0xFF));
        uint8_t plain = direction == 0 ? static_cast<uint8_t>(buffer[n] ^ m) : buffer[n];
        // The key absorbs the plain byte in both directions.
        for (int k = 0; k < 10; ++k)
            Cipher.key[k] ^= plain;
        buffer[n] = direction == 0 ? plain : static_cast<uint8_t>(plain ^ m);
    }
}
