// Text in the installer's code pages: UTF-8 from the manifest in, 8-bit ANSI bytes out, and
// back for `sspack info`.
#pragma once

#include <stdint.h>

#include <string>

// The ANSI code pages a Windows system can run with: 874, 932, 936, 949, 950, 1250..1258.
bool KnownCodePage(uint32_t code_page);

// Whether `text` is well-formed UTF-8; `bad_offset` (may be null) receives the first bad byte.
bool ValidUtf8(const std::string& text, size_t* bad_offset);

// Converts UTF-8 `text` to `code_page`. On failure `problem` says which character does not fit
// ("'Ж' (U+0416)") or that the text is not valid UTF-8.
bool EncodeText(const std::string& text, uint32_t code_page, std::string* out,
                std::string* problem);

// Converts `bytes` in `code_page` to UTF-8. A text that does not decode exactly comes back with
// '?' for each byte that did not, and `exact` false.
std::string DecodeText(const std::string& bytes, uint32_t code_page, bool* exact);
