// Code page conversion with a diagnosis: the OS layer converts whole texts; when one fails, the
// text is converted one character at a time to name the character that does not fit.
#include "tools/sspack/codepage.h"

#include <cstdio>

#include "tools/sspack/sspack_os.h"

bool KnownCodePage(uint32_t code_page) {
    switch (code_page) {
        case 874:
        case 932:
        case 936:
        case 949:
        case 950:
            return true;
        default:
            return code_page >= 1250 && code_page <= 1258;
    }
}

namespace {

// Length of the UTF-8 sequence at `i` and its code point; 0 when it is malformed.
size_t Utf8Sequence(const std::string& text, size_t i, uint32_t* code_point) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t cp;
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *code_point = cp;
    return length;
}

}  // namespace

bool ValidUtf8(const std::string& text, size_t* bad_offset) {
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        const size_t length = Utf8Sequence(text, i, &cp);
        if (length == 0) {
            if (bad_offset) *bad_offset = i;
            return false;
        }
        i += length;
    }
    return true;
}

bool EncodeText(const std::string& text, uint32_t code_page, std::string* out,
                std::string* problem) {
    size_t bad = 0;
    if (!ValidUtf8(text, &bad)) {
        *problem = "is not valid UTF-8 (byte " + std::to_string(bad + 1) + ")";
        return false;
    }
    if (Utf8ToCodePage(text, code_page, out)) return true;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t length = Utf8Sequence(text, i, &cp);
        std::string one;
        if (!Utf8ToCodePage(text.substr(i, length), code_page, &one)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", cp);
            *problem = "'" + text.substr(i, length) + "' (" + code +
                       ") cannot be written in code page " + std::to_string(code_page);
            return false;
        }
        i += length;
    }
    *problem = "cannot be written in code page " + std::to_string(code_page);
    return false;
}

std::string DecodeText(const std::string& bytes, uint32_t code_page, bool* exact) {
    std::string out;
    *exact = true;
    if (CodePageToUtf8(bytes, code_page, &out)) return out;
    *exact = false;
    // Byte by byte keeps whatever decodes; a double-byte character split this way shows as '?'.
    out.clear();
    for (char c : bytes) {
        std::string one;
        out += CodePageToUtf8(std::string(1, c), code_page, &one) ? one : "?";
    }
    return out;
}
