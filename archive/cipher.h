// KeyStreamCipher: a byte-wise stream cipher keyed by a short text (ten key bytes taking part,
// read as five big-endian 16-bit words). The key absorbs every plain byte, so a stream may be
// processed in several calls without re-keying, and deciphering then re-enciphering n bytes
// from the same fresh key restores them.
//
// ScrambledStringTable entry, addressed by its byte offset in the table:
//   u16 marker 0x4741 ("AG") | i16 length L | L bytes enciphered from a fresh key "Wisp"
#pragma once

#include <stdint.h>

struct KeyStreamCipher {
    uint8_t key[14];  // the key text; bytes 0..9 take part and change, 10..13 are never read
    uint16_t R;       // running word, carried from byte to byte
    uint16_t S;       // running word, carried from byte to byte
    uint16_t V;       // mixing word of the latest step
};
extern KeyStreamCipher Cipher;

constexpr const char* kDirectoryKey = "KNOT";
constexpr const char* kStringTableKey = "Wisp";
constexpr uint16_t kStringMarker = 0x4741;
constexpr uint32_t kStringAreaSize = 2048;

void SetCipherKey(const char* text);
void KeystreamStep();
// Direction 0 deciphers; any other value enciphers. In place.
void CipherBytes(uint8_t* buffer, uint32_t length, int direction);

// The deciphered text of the table entry at `offset`, NUL-terminated, in the string area; an
// entry without the marker gives an empty text. Valid until a later call wraps the area over it.
const char* ScrambledString(uint32_t offset);

// Resets the string area and its fill position (tests).
void ResetStringArea();
// Fill position of the string area (tests).
uint32_t StringAreaFill();
void SetStringAreaFill(uint32_t fill);
// Looks up an entry of another table with the same rules (tests; the program has one table).
const char* ScrambledStringFrom(const uint8_t* table, uint32_t offset);
