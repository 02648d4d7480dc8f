// Small text helpers shared by the build and info commands.
#pragma once

#include <stdint.h>

#include <cstdio>
#include <string>

// A JSON string literal. UTF-8 passes through; quotes, backslashes and control bytes are escaped.
inline std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A size for people: bytes below 10 KiB, then KiB and MiB with one decimal.
inline std::string SizeText(uint64_t bytes) {
    char text[32];
    if (bytes < 10240) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 10ull * 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024));
    }
    return text;
}
