// ScrambledStringTable: texts the program carries enciphered, deciphered on demand into one
// static string area.
#include <string.h>

#include "archive/cipher.h"

namespace {

// The command line that opens the display settings, enciphered under "Wisp" (entry at 0).
const uint8_t kTable[] = {
    0x41, 0x47, 0x31, 0x00,  // marker "AG", length 49
    0xb5, 0x54, 0xd7, 0xd5, 0x60, 0x45, 0x00, 0x2d, 0xdc, 0x2a, 0xad, 0xc9, 0xc0,
    0x09, 0x2a, 0xf3, 0xe7, 0x44, 0x45, 0x78, 0x24, 0xc2, 0x91, 0xd8, 0x61, 0xec,
    0x9e, 0x19, 0x37, 0x56, 0xa9, 0x0c, 0xd0, 0x89, 0xbd, 0x8b, 0xca, 0xbe, 0xa4,
    0xdb, 0xbf, 0xbf, 0xf8, 0x80, 0x0c, 0x89, 0xb8, 0x19, 0xfc,
};

char string_area[kStringAreaSize];  // deciphered texts, each followed by a NUL
uint32_t fill;                      // offset of the next free byte in string_area

}  // namespace

void ResetStringArea() {
    memset(string_area, 0, sizeof string_area);
    fill = 0;
}
uint32_t StringAreaFill() {
    return fill;
}
void SetStringAreaFill(uint32_t position) {
    fill = position < kStringAreaSize ? position : 0;
}

const char* ScrambledStringFrom(const uint8_t* table, uint32_t offset) {
    const uint8_t* entry = table + offset;
    if ((entry[0] | entry[1] << 8) != kStringMarker) {
        string_area[fill] = '\0';
        return &string_area[fill];
    }
    int32_t length = static_cast<int16_t>(entry[2] | entry[3] << 8);
    // Lengths outside 0..2046 are not part of the format; they read as empty rather than
    // reaching past the area.
    if (length < 0 || length > static_cast<int32_t>(kStringAreaSize) - 2) length = 0;
    uint32_t at = fill;
    if (at + static_cast<uint32_t>(length) >= kStringAreaSize - 2) at = 0;
    fill = at + static_cast<uint32_t>(length) + 1;
    uint8_t* text = reinterpret_cast<uint8_t*>(&string_area[at]);
    memcpy(text, entry + 4, static_cast<size_t>(length));
    SetCipherKey(kStringTableKey);
    CipherBytes(text, static_cast<uint32_t>(length), 0);
    string_area[at + static_cast<uint32_t>(length)] = '\0';
    return &string_area[at];
}

const char* ScrambledString(uint32_t offset) {
    // An offset outside the table finds no marker, like any offset that is not an entry.
    static const uint8_t kNoEntry[4] = {0, 0, 0, 0};
    if (offset > sizeof kTable - 4) return ScrambledStringFrom(kNoEntry, 0);
    return ScrambledStringFrom(kTable, offset);
}
