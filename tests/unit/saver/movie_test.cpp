// MOVIE bitmaps: which headers the saver accepts, where it finds palette and rows, and how the
// palette cycles.
#include <string.h>

#include <gtest/gtest.h>

#include "saver/movie.h"
#include "tests/unit/support/test_support.h"

namespace {

struct BmpShape {
    int32_t width = 4;
    int32_t height = 3;
    uint16_t bit_count = 8;
    uint32_t colours_field = 16;  // the header's "colours used"
    uint32_t palette_entries = 16;
    uint32_t info_size = 40;
    uint16_t cycle_first = 4;
    uint16_t cycle_count = 8;
};

void Put16(Bytes* b, size_t at, uint32_t v) {
    (*b)[at] = static_cast<uint8_t>(v);
    (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes* b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A bitmap file; palette entry i is (blue i, green 2i, red 3i), pixel bytes count up from 1.
Bytes MakeBmp(const BmpShape& s) {
    const uint32_t rows = static_cast<uint32_t>(s.height < 0 ? -s.height : s.height);
    const uint32_t stride = (static_cast<uint32_t>(s.width) * s.bit_count / 8 + 3) & ~3u;
    const uint32_t bits_offset = 14 + s.info_size + 4 * s.palette_entries;
    Bytes b(bits_offset + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(&b, 2, static_cast<uint32_t>(b.size()));
    Put16(&b, 6, s.cycle_first);
    Put16(&b, 8, s.cycle_count);
    Put32(&b, 10, bits_offset);
    Put32(&b, 14, s.info_size);
    Put32(&b, 18, static_cast<uint32_t>(s.width));
    Put32(&b, 22, static_cast<uint32_t>(s.height));
    Put16(&b, 26, 1);
    Put16(&b, 28, s.bit_count);
    Put32(&b, 46, s.colours_field);
    for (uint32_t i = 0; i < s.palette_entries; ++i) {
        const size_t at = 14 + s.info_size + 4 * i;
        b[at] = static_cast<uint8_t>(i);
        b[at + 1] = static_cast<uint8_t>(2 * i);
        b[at + 2] = static_cast<uint8_t>(3 * i);
    }
    for (size_t i = bits_offset; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(i - bits_offset + 1);
    return b;
}

uint32_t Entry(uint32_t i) {
    return (3 * i & 0xFF) << 16 | (2 * i & 0xFF) << 8 | (i & 0xFF);
}

struct Case {
    const char* tag;
    BmpShape shape;
    void (*damage)(Bytes*);  // null: as made
    int accepted;
};

BmpShape Shape(void (*edit)(BmpShape*)) {
    BmpShape s;
    edit(&s);
    return s;
}

const Case kCases[] = {
    {"8 bit with cycling", BmpShape(), nullptr, 1},
    {"24 bit", Shape([](BmpShape* s) { s->bit_count = 24, s->palette_entries = 0; }), nullptr, 1},
    {"top-down rows", Shape([](BmpShape* s) { s->height = -3; }), nullptr, 1},
    {"colours used 0 means 256",
     Shape([](BmpShape* s) { s->colours_field = 0, s->palette_entries = 256; }), nullptr, 1},
    {"version 5 info header", Shape([](BmpShape* s) { s->info_size = 124; }), nullptr, 1},
    {"still picture", Shape([](BmpShape* s) { s->cycle_count = 0; }), nullptr, 1},
    {"cycle to the last entry", Shape([](BmpShape* s) { s->cycle_first = 8; }), nullptr, 1},
    {"rows padded to 4 bytes", Shape([](BmpShape* s) { s->width = 5; }), nullptr, 1},
    {"largest side", Shape([](BmpShape* s) { s->width = 8192, s->height = 1; }), nullptr, 1},
    {"cycle past the palette", Shape([](BmpShape* s) { s->cycle_first = 9; }), nullptr, 0},
    {"not BM", BmpShape(), [](Bytes* b) { (*b)[1] = 'A'; }, 0},
    {"compressed", BmpShape(), [](Bytes* b) { Put32(b, 30, 1); }, 0},
    {"two planes", BmpShape(), [](Bytes* b) { Put16(b, 26, 2); }, 0},
    {"4 bit", BmpShape(), [](Bytes* b) { Put16(b, 28, 4); }, 0},
    {"32 bit", BmpShape(), [](Bytes* b) { Put16(b, 28, 32); }, 0},
    {"info header too small", BmpShape(), [](Bytes* b) { Put32(b, 14, 12); }, 0},
    {"width 0", BmpShape(), [](Bytes* b) { Put32(b, 18, 0); }, 0},
    {"negative width", BmpShape(), [](Bytes* b) { Put32(b, 18, 0xFFFFFFFC); }, 0},
    {"height 0", BmpShape(), [](Bytes* b) { Put32(b, 22, 0); }, 0},
    {"width above 8192", Shape([](BmpShape* s) { s->width = 8193, s->height = 1; }), nullptr, 0},
    {"most negative height", BmpShape(), [](Bytes* b) { Put32(b, 22, 0x80000000); }, 0},
    {"more than 256 colours", BmpShape(), [](Bytes* b) { Put32(b, 46, 257); }, 0},
    {"palette past the end", BmpShape(), [](Bytes* b) { Put32(b, 46, 200); }, 0},
    {"rows cut by one byte", BmpShape(), [](Bytes* b) { b->pop_back(); }, 0},
    {"bits offset inside the palette", BmpShape(), [](Bytes* b) { Put32(b, 10, 60); }, 0},
    {"bits offset far past the end", BmpShape(), [](Bytes* b) { Put32(b, 10, 0xFFFFFFF0); }, 0},
    {"headers cut", BmpShape(), [](Bytes* b) { b->resize(53); }, 0},
    {"huge info header size", BmpShape(), [](Bytes* b) { Put32(b, 14, 0xFFFFFFF0); }, 0},
};

TEST(Movie, WhichBitmapsAreShown) {
    for (const Case& c : kCases) {
        Bytes file = MakeBmp(c.shape);
        if (c.damage) c.damage(&file);
        MovieView view;
        memset(&view, 0xA5, sizeof view);
        EXPECT_EQ(OpenMovie(file.data(), static_cast<uint32_t>(file.size()), &view), c.accepted)
            << c.tag;
        EXPECT_EQ(view.valid, c.accepted) << c.tag;
        if (!c.accepted) {
            EXPECT_EQ(view.bits, nullptr) << c.tag;
            continue;
        }
        const uint32_t rows = c.shape.height < 0 ? -c.shape.height : c.shape.height;
        EXPECT_EQ(view.width, c.shape.width) << c.tag;
        EXPECT_EQ(view.height, static_cast<int32_t>(rows)) << c.tag;
        const uint32_t stride = (c.shape.width * c.shape.bit_count / 8 + 3) & ~3u;
        EXPECT_EQ(view.bits + stride * rows, file.data() + file.size()) << c.tag;
        EXPECT_EQ(view.bits[0], 1) << c.tag;
        // The drawing header always has 40 bytes, the palette right behind it, and keeps the
        // sign of the height.
        uint32_t size, height;
        memcpy(&size, view.header, 4);
        memcpy(&height, view.header + 8, 4);
        EXPECT_EQ(size, 40u) << c.tag;
        EXPECT_EQ(height, static_cast<uint32_t>(c.shape.height)) << c.tag;
        for (uint32_t i = 0; i < view.colours; ++i)
            ASSERT_EQ(MovieColour(&view, i), Entry(i)) << c.tag << " entry " << i;
        const uint32_t cycle = c.shape.bit_count == 8 ? c.shape.cycle_count : 0;
        EXPECT_EQ(view.cycle_count, cycle) << c.tag;
    }
}

TEST(Movie, CyclingMovesTheRangeUpByOneAndWrapsRound) {
    Bytes file = MakeBmp(BmpShape());  // 16 entries, 4..11 cycle
    MovieView view;
    ASSERT_EQ(OpenMovie(file.data(), static_cast<uint32_t>(file.size()), &view), 1);
    const Bytes before = file;
    CycleMovieColours(&view);
    EXPECT_EQ(MovieColour(&view, 4), Entry(11));
    for (uint32_t i = 5; i <= 11; ++i)
        EXPECT_EQ(MovieColour(&view, i), Entry(i - 1)) << "entry " << i;
    for (uint32_t i : {0u, 3u, 12u, 15u})
        EXPECT_EQ(MovieColour(&view, i), Entry(i)) << "entry outside the range " << i;
    for (int step = 1; step < 8; ++step)
        CycleMovieColours(&view);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(MovieColour(&view, i), Entry(i)) << "after a full turn, entry " << i;
    EXPECT_EQ(file, before) << "the file's own palette is never touched";
}

TEST(Movie, StillPicturesAndInvalidViewsDoNotCycle) {
    for (uint16_t count : {0, 1}) {
        BmpShape s;
        s.cycle_count = count;
        Bytes file = MakeBmp(s);
        MovieView view;
        ASSERT_EQ(OpenMovie(file.data(), static_cast<uint32_t>(file.size()), &view), 1);
        CycleMovieColours(&view);
        for (uint32_t i = 0; i < 16; ++i)
            EXPECT_EQ(MovieColour(&view, i), Entry(i)) << "count " << count << " entry " << i;
    }
    MovieView empty;
    EXPECT_EQ(OpenMovie(nullptr, 100, &empty), 0);
    CycleMovieColours(&empty);
    EXPECT_EQ(MovieColour(&empty, 0), 0u);
}

// The checked-in picture of the aurora example is what the saver and the end-to-end test
// expect: 320 x 200, 8 bit, entries 64..255 cycling, the top rows plain sky.
TEST(Movie, AuroraExampleIsAValidMovie) {
    const Bytes file = ReadWholeFile(AURORA_MOVIE_PATH);
    ASSERT_FALSE(file.empty());
    MovieView view;
    ASSERT_EQ(OpenMovie(file.data(), static_cast<uint32_t>(file.size()), &view), 1);
    EXPECT_EQ(view.width, 320);
    EXPECT_EQ(view.height, 200);
    EXPECT_EQ(view.bit_count, 8u);
    EXPECT_EQ(view.cycle_first, 64u);
    EXPECT_EQ(view.cycle_count, 192u);
    const uint8_t* top_row = view.bits + 199 * 320;  // bottom-up rows
    for (int x = 0; x < 320; ++x)
        ASSERT_LT(top_row[x], 64) << "column " << x << " of the top row is not static sky";
}

}  // namespace
