// Texts built inside fixed buffers: what fits is appended whole and terminated, what does not
// leaves the buffer as it was.
#include <gtest/gtest.h>

#include <string.h>

#include "app/text.h"

namespace {

TEST(Text, APieceFitsWithItsNulOrNotAtAll) {
    char out[8];
    memset(out, 0xA5, sizeof out);
    uint32_t at = 0;
    out[0] = '\0';
    EXPECT_EQ(AppendText(out, sizeof out, &at, "abc"), 1);
    EXPECT_EQ(AppendText(out, sizeof out, &at, "defg"), 1);  // 7 characters and the NUL
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(at, 7u);
    EXPECT_EQ(AppendText(out, sizeof out, &at, "h"), 0);  // no room for its NUL
    EXPECT_EQ(AppendText(out, sizeof out, &at, ""), 1);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(at, 7u);
    uint32_t past = 9;  // a position past the buffer appends nothing and writes nothing
    EXPECT_EQ(Append(out, sizeof out, &past, "", 0), 0);
    uint32_t near_top = 1;  // a length near 2^32 must not wrap the bound
    EXPECT_EQ(Append(out, sizeof out, &near_top, "x", 0xFFFFFFFFu), 0);
    EXPECT_STREQ(out, "abcdefg");
}

TEST(Text, NumbersInDecimalWithLeadingZeros) {
    struct Row {
        uint32_t value;
        uint32_t digits;
        const char* text;
    } rows[] = {
        {0, 1, "0"},          {7, 2, "07"}, {42, 2, "42"},    {100, 2, "100"},
        {5, 0, "5"},          {0, 0, "0"},  {12, 5, "00012"}, {4294967295u, 1, "4294967295"},
        {3, 20, "0000000003"}};  // never more than the ten digits a 32-bit value has
    for (const Row& row : rows) {
        char out[16] = "ADDL";
        uint32_t at = 4;
        EXPECT_EQ(AppendNumber(out, sizeof out, &at, row.value, row.digits), 1) << row.text;
        EXPECT_EQ(std::string(out + 4), row.text);
    }
    char small[4] = "AB";
    uint32_t at = 2;
    EXPECT_EQ(AppendNumber(small, sizeof small, &at, 12, 1), 0);  // "AB12" needs 5 bytes
    EXPECT_STREQ(small, "AB");
}

}  // namespace
