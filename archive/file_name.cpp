// Safe file names: one decision for the installer and the packager.
#include "archive/file_name.h"

#include <string.h>

static char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

static int SameLetters(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (UpperAscii(a[i]) != b[i]) return 0;
    return 1;
}

// Windows reserves these names in every folder, whatever follows the first dot and however many
// spaces stand before it ("NUL .txt" is the null device). COM and LPT take the digits 0-9 and
// the superscripts 1, 2 and 3 of the ANSI code page (0xB9, 0xB2, 0xB3).
static int IsDeviceName(const char* name) {
    size_t n = 0;
    while (name[n] != '\0' && name[n] != '.')
        ++n;
    while (n > 0 && name[n - 1] == ' ')
        --n;
    static const char* const kDevices[] = {"CON",    "PRN",    "AUX",    "NUL",
                                           "CLOCK$", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (n == strlen(device) && SameLetters(name, device, n)) return 1;
    if (n == 4 && (SameLetters(name, "COM", 3) || SameLetters(name, "LPT", 3)))
        return strchr("0123456789\xB9\xB2\xB3", name[3]) != nullptr;
    return 0;
}

FileNameFault CheckFileName(const char* name) {
    const size_t length = strlen(name);
    if (length == 0) return kNameEmpty;
    int only_dots_and_spaces = 1, two_dots = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 0x20 || *p == 0x7F) return kNameControl;
        if (strchr("\\/:*?\"<>|", *p) != nullptr) return kNameReserved;
        only_dots_and_spaces &= *p == '.' || *p == ' ';
        two_dots |= *p == '.' && p[1] == '.';
    }
    if (only_dots_and_spaces || two_dots) return kNameDots;
    if (name[length - 1] == '.' || name[length - 1] == ' ') return kNameTrailing;
    if (IsDeviceName(name)) return kNameDevice;
    return kNameSafe;
}

int IsSafeFileName(const char* name) {
    return CheckFileName(name) == kNameSafe;
}
