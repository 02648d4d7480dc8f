// Conversion of manifest texts into the installer's code pages, and back for `sspack info`.
#include <gtest/gtest.h>

#include "tools/sspack/codepage.h"

namespace {

struct EncodeRow {
    const char* tag;
    const char* utf8;
    uint32_t code_page;
    const char* bytes;    // expected result, or null when the text must be refused
    const char* problem;  // part of the refusal
};

const EncodeRow kEncodeRows[] = {
    {"ascii", "Aurora 1.0", 1252, "Aurora 1.0", nullptr},
    {"western accents and euro", "caf\xC3\xA9 \xE2\x82\xAC", 1252, "caf\xE9 \x80", nullptr},
    {"central european", "\xC5\x82\xC3\xB3\xC5\xBC", 1250, "\xB3\xF3\xBF", nullptr},
    {"cyrillic", "\xD0\x96\xD0\xB0\xD1\x80", 1251, "\xC6\xE0\xF0", nullptr},
    {"greek", "\xCE\xA9", 1253, "\xD9", nullptr},
    {"japanese, two bytes each", "\xE3\x81\x93\xE3\x82\x93", 932, "\x82\xB1\x82\xF1", nullptr},
    {"empty", "", 1252, "", nullptr},
    {"cyrillic letter in 1252", "ab\xD0\x96", 1252, nullptr,
     "'\xD0\x96' (U+0416) cannot be "
     "written in code page 1252"},
    {"euro in 1251 is fine, but not a kana", "\xE2\x82\xAC\xE3\x81\x82", 1251, nullptr, "(U+3042)"},
    {"emoji in 932", "\xF0\x9F\x98\x80", 932, nullptr, "(U+1F600)"},
    {"no best fit: a with ring in 1251", "\xC3\xA5", 1251, nullptr, "(U+00E5)"},
    {"broken utf-8", "ok\xC3(", 1252, nullptr, "not valid UTF-8 (byte 3)"},
    {"overlong utf-8", "\xC0\xAF", 1252, nullptr, "not valid UTF-8"},
    {"utf-16 surrogate in utf-8", "\xED\xA0\x80", 1252, nullptr, "not valid UTF-8"},
};

TEST(CodePage, EncodeTable) {
    for (const EncodeRow& row : kEncodeRows) {
        SCOPED_TRACE(row.tag);
        std::string out, problem;
        const bool ok = EncodeText(row.utf8, row.code_page, &out, &problem);
        if (row.bytes) {
            EXPECT_TRUE(ok) << problem;
            EXPECT_EQ(out, row.bytes);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
        }
    }
}

TEST(CodePage, DecodeRestoresWhatEncodeMade) {
    for (const EncodeRow& row : kEncodeRows) {
        if (!row.bytes) continue;
        SCOPED_TRACE(row.tag);
        bool exact = false;
        EXPECT_EQ(DecodeText(row.bytes, row.code_page, &exact), row.utf8);
        EXPECT_TRUE(exact);
    }
}

TEST(CodePage, UndefinedByteDecodesAsQuestionMark) {
    bool exact = true;
    // 0x81 means nothing in code page 1252.
    EXPECT_EQ(DecodeText("a\x81z", 1252, &exact), "a?z");
    EXPECT_FALSE(exact);
}

TEST(CodePage, KnownCodePages) {
    for (uint32_t cp : {874u, 932u, 936u, 949u, 950u, 1250u, 1252u, 1258u})
        EXPECT_TRUE(KnownCodePage(cp)) << cp;
    for (uint32_t cp : {0u, 437u, 850u, 1249u, 1259u, 65001u})
        EXPECT_FALSE(KnownCodePage(cp)) << cp;
}

}  // namespace
