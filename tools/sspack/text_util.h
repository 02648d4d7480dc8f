// Small text helpers shared by the build and info commands.
#pragma once

#include <stdint.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/file_name.h"

// A JSON string literal. Quotes, backslashes and control bytes are escaped; UTF-8 passes
// through, or with `bytes_as_latin1` (entry names, which are bytes of an unknown code page) every
// byte from 0x7F up becomes \u00XX, so the literal is valid whatever the bytes.
inline std::string JsonText(const std::string& text, bool bytes_as_latin1 = false) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || (bytes_as_latin1 && c > 0x7F)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A size for people, in one style everywhere: bytes below 1 KiB, then KiB, MiB and GiB, each
// below 1024 of itself ("5.5 MiB", never "5625.1 KiB").
inline std::string SizeText(uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024ull * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    } else if (bytes < 1024ull * 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024));
    } else {
        std::snprintf(text, sizeof text, "%.2f GiB", bytes / (1024.0 * 1024 * 1024));
    }
    return text;
}

// Why `name` cannot be a file name in a folder under the installer's own rule, or "" when it can.
inline std::string FileNameProblem(const std::string& name) {
    if (name.find('\0') != std::string::npos) return "holds a control character";
    switch (CheckFileName(name.c_str())) {
        case kNameSafe:
            return "";
        case kNameEmpty:
            return "is empty";
        case kNameControl:
            return "holds a control character";
        case kNameReserved:
            return std::string("holds '") + name[name.find_first_of("\\/:*?\"<>|")] +
                   "', which Windows file names cannot";
        case kNameDots:
            return "is or holds '..', or is only dots and spaces";
        case kNameTrailing:
            return "ends in a dot or a space";
        case kNameDevice:
            return "is a device name on Windows";
    }
    return "is not a file name";
}
