// Texts built piece by piece inside fixed buffers.
#include "app/text.h"

#include <string.h>

int Append(char* out, uint32_t size, uint32_t* at, const char* text, uint32_t length) {
    if (*at >= size || length >= size - *at) return 0;
    memcpy(out + *at, text, length);
    *at += length;
    out[*at] = '\0';
    return 1;
}

int AppendText(char* out, uint32_t size, uint32_t* at, const char* text) {
    return Append(out, size, at, text, static_cast<uint32_t>(strlen(text)));
}

int AppendNumber(char* out, uint32_t size, uint32_t* at, uint32_t value, uint32_t digits) {
    char text[10];  // 4294967295 has ten digits
    uint32_t n = 0;
    do {
        text[sizeof text - 1 - n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || (n < digits && n < sizeof text));
    return Append(out, size, at, text + sizeof text - n, n);
}
