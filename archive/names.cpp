// Entry names: up to 16 bytes in a record, compared without regard to the case of A..Z.
#include <string.h>

#include "archive/format.h"

static char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// A field of 16 characters has no terminator; it then matches only a name of exactly those 16.
int NameMatches(const char field[16], const char* name) {
    for (uint32_t i = 0; i < kNameSize; ++i) {
        if (field[i] == '\0') return name[i] == '\0';
        if (FoldCase(field[i]) != FoldCase(name[i])) return 0;
    }
    return name[kNameSize] == '\0';
}

void SetRecordName(char field[16], const char* name) {
    uint32_t i = 0;
    for (; i < kNameSize && name[i] != '\0'; ++i)
        field[i] = name[i];
    for (; i < kNameSize; ++i)
        field[i] = '\0';
}
