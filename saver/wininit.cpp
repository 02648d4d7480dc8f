// Adding a removal to WinInit.Ini's text. See wininit.h.
#include "saver/wininit.h"

#include <string.h>

static char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The line of `length` bytes (its line end not counted, trailing blanks and CR ignored) reads
// `a` then `b`, in any case.
static int LineIs(const char* line, uint32_t length, const char* a, const char* b) {
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == ' '))
        --length;
    const char* parts[] = {a, b};
    for (const char* part : parts)
        for (; *part; ++part, ++line, --length)
            if (length == 0 || Lower(*line) != Lower(*part)) return 0;
    return length == 0;
}

static void Insert(char* text, uint32_t size, uint32_t at, const char* piece, uint32_t length) {
    memmove(text + at + length, text + at, size - at);
    memcpy(text + at, piece, length);
}

uint32_t AddRemovalLine(char* text, uint32_t size, uint32_t capacity, const char* path) {
    uint32_t insert = size;
    int section = 0;
    for (uint32_t at = 0; at < size;) {
        uint32_t end = at;
        while (end < size && text[end] != '\n')
            ++end;
        if (LineIs(text + at, end - at, "NUL=", path)) return size;
        if (!section && LineIs(text + at, end - at, "[Rename]", "")) {
            section = 1;
            insert = end < size ? end + 1 : end;
        }
        at = end + 1;
    }
    // A last line without its end gets one before anything follows it.
    const char* before = "";
    if (insert == size && size > 0 && text[size - 1] != '\n') before = "\r\n";
    const char* header = section ? "" : "[Rename]\r\n";
    const uint32_t needed =
        static_cast<uint32_t>(strlen(before) + strlen(header) + 4 + strlen(path) + 2);
    if (needed > capacity || size > capacity - needed) return 0;
    uint32_t at = insert;
    const char* pieces[] = {before, header, "NUL=", path, "\r\n"};
    for (const char* piece : pieces) {
        const uint32_t length = static_cast<uint32_t>(strlen(piece));
        Insert(text, size, at, piece, length);
        size += length;
        at += length;
    }
    return size;
}
