// The stream cipher and the scrambled string table.
#include <string.h>

#include <gtest/gtest.h>

#include "archive/cipher.h"
#include "compress/scramble.h"
#include "tests/unit/support/test_support.h"

namespace {

Bytes CipherRun(const char* key, Bytes data, int direction) {
    SetCipherKey(key);
    CipherBytes(data.data(), static_cast<uint32_t>(data.size()), direction);
    return data;
}

Bytes Hex(const char* text) {
    Bytes out;
    for (const char* p = text; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(static_cast<uint8_t>(strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        p += 2;
    }
    return out;
}

TEST(Cipher, KnownAnswers) {
    EXPECT_EQ(CipherRun("Wisp", BytesOf("Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1"), 1),
              Hex("b5 54 d7 d5 60 45 00 2d dc 2a ad c9 c0 09 2a f3 e7 44 45 78 24 c2 91 d8 61 ec"
                  "9e 19 37 56 a9 0c d0 89 bd 8b ca be a4 db bf bf f8 80 0c 89 b8 19 fc"));
    EXPECT_EQ(CipherRun("", Bytes(16, 0), 1),
              Hex("17 bb 05 2b d6 4f 32 a0 cb 27 c3 65 35 9d eb 72"));
}

TEST(Cipher, DecipherThenEncipherRestoresAnyBuffer) {
    for (size_t length : {0u, 1u, 39u, 40u, 1280u, 4099u}) {
        Bytes original = PseudoRandomBytes(length, static_cast<uint32_t>(length) + 7);
        Bytes plain = CipherRun("KNOT", original, 0);
        EXPECT_EQ(CipherRun("KNOT", plain, 1), original) << "length " << length;
    }
}

TEST(Cipher, OneCallEqualsTwoCalls) {
    Bytes data = PseudoRandomBytes(80, 3);
    for (int direction : {0, 1}) {
        Bytes whole = CipherRun("KNOT", data, direction);
        Bytes halves = data;
        SetCipherKey("KNOT");
        CipherBytes(halves.data(), 40, direction);
        CipherBytes(halves.data() + 40, 40, direction);
        EXPECT_EQ(whole, halves) << "direction " << direction;
    }
}

TEST(Cipher, KeyTextRules) {
    Bytes data = PseudoRandomBytes(64, 11);
    struct Row {
        const char* a;
        const char* b;
        bool same;
    } rows[] = {
        {"0123456789", "0123456789abcdef", true},  // characters past ten never matter
        {"0123456789x", "0123456789y", true},      // ...nor the eleventh
        {"012345678", "012345678", true},          // nine characters and a zero byte
        {"012345678", "0123456789", false},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNXX", true},  // cut to 14, only 10 used
        {"KNOT", "knot", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(CipherRun(r.a, data, 1) == CipherRun(r.b, data, 1), r.same)
            << r.a << " vs " << r.b;
    // Any non-zero direction enciphers.
    EXPECT_EQ(CipherRun("KNOT", data, 2), CipherRun("KNOT", data, 1));
    EXPECT_EQ(CipherRun("KNOT", data, -1), CipherRun("KNOT", data, 1));
}

TEST(Cipher, LengthZeroChangesNothing) {
    SetCipherKey("Wisp");
    KeyStreamCipher before = Cipher;
    uint8_t byte = 0x5A;
    CipherBytes(&byte, 0, 1);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(memcmp(&before, &Cipher, sizeof Cipher), 0);
}

TEST(Scramble, XorTwiceRestores) {
    Bytes data = PseudoRandomBytes(100, 5);
    Bytes copy = data;
    XorBytes(copy.data(), 100, 0x15A);  // only the low byte counts
    for (size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(copy[i], data[i] ^ 0x5A);
    XorBytes(copy.data(), 100, 0x5A);
    EXPECT_EQ(copy, data);
    XorBytes(copy.data(), 0, 0x5A);
    EXPECT_EQ(copy, data);
}

// A table entry: marker, length, text enciphered under "Wisp".
Bytes TableEntry(const std::string& text) {
    Bytes entry = {0x41, 0x47, static_cast<uint8_t>(text.size()),
                   static_cast<uint8_t>(text.size() >> 8)};
    Bytes cipher = CipherRun("Wisp", BytesOf(text), 1);
    entry.insert(entry.end(), cipher.begin(), cipher.end());
    return entry;
}

TEST(ScrambledString, TheProgramTableHoldsTheDisplaySettingsCommand) {
    ResetStringArea();
    EXPECT_STREQ(ScrambledString(0), "Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1");
    EXPECT_EQ(StringAreaFill(), 50u);
    EXPECT_STREQ(ScrambledString(1), "");  // no marker there
    EXPECT_STREQ(ScrambledString(100000), "");
    EXPECT_EQ(StringAreaFill(), 50u);
}

TEST(ScrambledString, PlacementAndWrap) {
    Bytes table = TableEntry(std::string(50, 'x'));
    Bytes second = TableEntry(std::string(45, 'y'));
    size_t second_at = table.size();
    table.insert(table.end(), second.begin(), second.end());
    table.insert(table.end(), 4, 0);  // not a marker

    ResetStringArea();
    SetStringAreaFill(2000);
    const char* fifty = ScrambledStringFrom(table.data(), 0);
    EXPECT_EQ(std::string(fifty), std::string(50, 'x'));
    EXPECT_EQ(StringAreaFill(), 51u);  // 2000 + 50 >= 2046: placed at the start

    SetStringAreaFill(2000);
    const char* forty_five = ScrambledStringFrom(table.data(), static_cast<uint32_t>(second_at));
    EXPECT_EQ(std::string(forty_five), std::string(45, 'y'));
    EXPECT_EQ(StringAreaFill(), 2046u);

    const char* empty = ScrambledStringFrom(table.data(), static_cast<uint32_t>(table.size() - 4));
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(StringAreaFill(), 2046u);
}

}  // namespace
