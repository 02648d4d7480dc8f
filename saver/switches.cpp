// Parsing the screen saver's switches. See switches.h for the forms accepted.
#include "saver/switches.h"

static int IsBlank(char c) {
    return c == ' ' || c == '\t';
}

static const char* SkipBlanks(const char* text) {
    while (IsBlank(*text))
        ++text;
    return text;
}

// A decimal window number at `text`, ended by a blank or the end of the text. 0 when there is
// none, when another character follows the digits, or when it does not fit a pointer.
static uintptr_t ReadWindowNumber(const char* text) {
    uintptr_t value = 0;
    const char* digit = text;
    for (; *digit >= '0' && *digit <= '9'; ++digit) {
        const uintptr_t d = static_cast<uintptr_t>(*digit - '0');
        if (value > (UINTPTR_MAX - d) / 10) return 0;
        value = value * 10 + d;
    }
    if (digit == text) return 0;
    if (*digit != '\0' && !IsBlank(*digit)) return 0;
    return value;
}

static SaverMode ModeOfLetter(char letter) {
    switch (letter | 0x20) {  // ASCII lower case; other characters stay unknown
        case 's':
            return kSaverFullScreen;
        case 'c':
            return kSaverConfigure;
        case 'p':
            return kSaverPreview;
        case 'a':
            return kSaverPassword;
        case 'u':
            return kSaverUninstall;
        default:
            return kSaverUnknown;
    }
}

SaverSwitches ParseSaverSwitches(const char* command_line) {
    SaverSwitches result = {kSaverConfigure, 0};
    if (!command_line) return result;
    // Some launchers quote the switch as if it were a path.
    const char* p = SkipBlanks(command_line);
    if (*p == '"') p = SkipBlanks(p + 1);
    if (*p == '\0') return result;
    if (*p != '/' && *p != '-') {
        result.mode = kSaverUnknown;
        return result;
    }
    result.mode = ModeOfLetter(p[1]);
    if (result.mode == kSaverUnknown) return result;
    // The letter must end the word or be followed by ':' and the number; "/save" is not "/s".
    const char* rest = p + 2;
    if (*rest == ':') {
        result.window = ReadWindowNumber(rest + 1);
    } else if (*rest == '\0' || *rest == '"' || IsBlank(*rest)) {
        if (*rest == '"') ++rest;
        result.window = ReadWindowNumber(SkipBlanks(rest));
    } else {
        result.mode = kSaverUnknown;
    }
    return result;
}
