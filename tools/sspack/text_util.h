// Small text helpers shared by the build and info commands.
#pragma once

#include <stdint.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archive/file_name.h"

// The length of the UTF-8 sequence that starts `text` at `i`: 1 to 4, or 0 when the bytes there
// are not valid UTF-8 (a stray continuation byte, an overlong form, a surrogate, a code point
// above U+10FFFF, or a sequence cut short). `code_point` receives what it encodes.
inline size_t Utf8SequenceAt(const std::string& text, size_t i, uint32_t* code_point) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t value = 0, least = 0;
    if (c < 0x80) {
        *code_point = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        length = 2, value = c & 0x1Fu, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, value = c & 0x0Fu, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, value = c & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code_point = value;
    return length;
}

// A JSON string literal of UTF-8 text. Valid UTF-8 passes through as it is; quotes, backslashes
// and control characters (U+0000 to U+001F, U+007F, U+0080 to U+009F) are escaped as \uXXXX.
// A byte that is not part of valid UTF-8 (a name in another code page) becomes \udcXX, XX its
// value (0x80 to 0xFF): no UTF-8 text holds such a code point, so the byte is known for what it
// was and the literal is valid JSON whatever the bytes.
inline std::string JsonText(const std::string& text) {
    std::string out = "\"";
    char escape[8];
    for (size_t i = 0; i < text.size();) {
        uint32_t code_point = 0;
        const size_t length = Utf8SequenceAt(text, i, &code_point);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\udc%02x", static_cast<unsigned char>(text[i]));
            out += escape;
            ++i;
            continue;
        }
        if (code_point == '"' || code_point == '\\') {
            out += '\\';
            out += static_cast<char>(code_point);
        } else if (code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code_point));
            out += escape;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

// Text as a line of output may show it: every control character (U+0000 to U+001F, U+007F, and
// U+0080 to U+009F in UTF-8) becomes \xNN, its code point, so no text can start a line of its
// own or drive a terminal; a tab stays when `keep_tab`. Every other byte is kept, so a name in
// another code page still names its file. `changed`, when given, is set when one was escaped.
inline std::string EscapedControls(const std::string& text, bool keep_tab,
                                   bool* changed = nullptr) {
    std::string out;
    char escape[8];
    for (size_t i = 0; i < text.size();) {
        uint32_t code_point = static_cast<unsigned char>(text[i]);
        size_t length = Utf8SequenceAt(text, i, &code_point);
        if (length == 0) {
            code_point = static_cast<unsigned char>(text[i]);
            length = 1;
        }
        const bool control = (code_point < 0x20 && !(keep_tab && code_point == '\t')) ||
                             code_point == 0x7F ||
                             (code_point >= 0x80 && code_point <= 0x9F && length == 2);
        if (control) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(code_point));
            out += escape;
            if (changed) *changed = true;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
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
