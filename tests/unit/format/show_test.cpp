// The picture show: what sspack's writer lays out, the screen saver's reader reads back
// exactly, and every header, record or area that does not add up is refused before use.
#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "format/show.h"
#include "tools/sspack/show_write.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Filled(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

std::vector<uint16_t> Units(const std::u16string& text) {
    return std::vector<uint16_t>(text.begin(), text.end());
}

// Three pictures (the second without a caption) and two pieces of music.
struct Sample {
    ShowSettings settings;
    std::vector<ShowPictureData> pictures;
    std::vector<ShowMusicData> music;
    Bytes movie;

    Sample() {
        settings.interval_ms = 8000;
        settings.transition_ms = 1500;
        settings.background = 0x102030;
        settings.order = kShowRandom;
        settings.fit = kShowFill;
        settings.transition = kShowSlide;
        pictures.push_back({Filled(301, 1), kShowJpeg, 640, 480, Units(u"Sunrise \u00fcber")});
        pictures.push_back({Filled(17, 2), kShowGif, 1, 65535, {}});
        pictures.push_back({Filled(1000, 3), kShowBmp, 3, 2, Units(u"x")});
        music.push_back({Filled(50, 4), kShowWav});
        music.push_back({Filled(1, 5), kShowMidi});
        EXPECT_EQ("", EncodeShow(settings, pictures, music, &movie));
    }
};

int Parse(const Bytes& movie, ShowView* view) {
    const uint32_t size = static_cast<uint32_t>(movie.size());
    const uint32_t index = ShowIndexSize(movie.data(), size < 48 ? size : 48, size);
    return ParseShow(movie.data(), index ? index : size, size, view);
}

void Set16(Bytes* b, size_t at, uint32_t v) {
    (*b)[at] = static_cast<uint8_t>(v);
    (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Set32(Bytes* b, size_t at, uint32_t v) {
    Set16(b, at, v & 0xFFFF);
    Set16(b, at + 2, v >> 16);
}

TEST(Show, WrittenShowReadsBackAsWritten) {
    const Sample s;
    ASSERT_TRUE(IsShow(s.movie.data(), static_cast<uint32_t>(s.movie.size())));
    const uint32_t index =
        ShowIndexSize(s.movie.data(), kShowHeaderSize, static_cast<uint32_t>(s.movie.size()));
    // Header, 3 picture and 2 music records, 12 + 1 caption units.
    EXPECT_EQ(48u + 3 * 24 + 2 * 16 + 2 * 13, index);
    ShowView view;
    ASSERT_EQ(1, ParseShow(s.movie.data(), index, static_cast<uint32_t>(s.movie.size()), &view));
    EXPECT_EQ(3u, view.picture_count);
    EXPECT_EQ(2u, view.music_count);
    EXPECT_EQ(8000u, view.interval_ms);
    EXPECT_EQ(1500u, view.transition_ms);
    EXPECT_EQ(0x102030u, view.background);
    EXPECT_EQ(kShowRandom, view.order);
    EXPECT_EQ(kShowFill, view.fit);
    EXPECT_EQ(kShowSlide, view.transition);
    EXPECT_EQ(kShowFlagMusic, view.flags);
    EXPECT_EQ(index, view.data_offset);
    for (uint32_t i = 0; i < 3; ++i) {
        ShowPicture p;
        ASSERT_EQ(1, ShowPictureAt(&view, i, &p));
        const ShowPictureData& want = s.pictures[i];
        EXPECT_EQ(Bytes(s.movie.begin() + p.offset, s.movie.begin() + p.offset + p.size),
                  want.bytes);
        EXPECT_EQ(want.width, p.width);
        EXPECT_EQ(want.height, p.height);
        EXPECT_EQ(want.format, p.format);
        std::vector<uint16_t> caption;
        for (uint32_t k = 0; k < p.caption_length; ++k)
            caption.push_back(static_cast<uint16_t>(ShowU16(p.caption + 2 * k)));
        EXPECT_EQ(want.caption, caption) << "picture " << i;
        EXPECT_EQ(want.caption.empty(), p.caption == nullptr);
    }
    for (uint32_t i = 0; i < 2; ++i) {
        ShowMusic m;
        ASSERT_EQ(1, ShowMusicAt(&view, i, &m));
        EXPECT_EQ(Bytes(s.movie.begin() + m.offset, s.movie.begin() + m.offset + m.size),
                  s.music[i].bytes);
        EXPECT_EQ(s.music[i].format, m.format);
    }
    ShowPicture p;
    ShowMusic m;
    EXPECT_EQ(0, ShowPictureAt(&view, 3, &p));
    EXPECT_EQ(0, ShowMusicAt(&view, 2, &m));
}

TEST(Show, MusicFlagOnlyWithMusicAndWhenWanted) {
    Sample s;
    s.settings.music = false;
    Bytes movie;
    ASSERT_EQ("", EncodeShow(s.settings, s.pictures, s.music, &movie));
    EXPECT_EQ(0, movie[kShowOffFlags]);
    s.settings.music = true;
    ASSERT_EQ("", EncodeShow(s.settings, s.pictures, {}, &movie));
    EXPECT_EQ(0, movie[kShowOffFlags]);
}

// One change to a valid show, at a byte offset of the header or of a record.
struct Damage {
    const char* what;
    size_t at;  // < 48: header; else 48 + record byte of picture 0 (p0) or music 0 (m0)
    int width;  // 1, 2 or 4 bytes
    uint32_t value;
};
constexpr size_t p0 = kShowHeaderSize;
constexpr size_t p1 = p0 + kShowPictureRecordSize;
constexpr size_t m0 = kShowHeaderSize + 3 * kShowPictureRecordSize;

TEST(Show, EveryInconsistencyIsRefused) {
    const Sample s;
    const uint32_t index = ShowIndexSize(s.movie.data(), 48, static_cast<uint32_t>(s.movie.size()));
    const uint32_t text = 48 + 3 * 24 + 2 * 16;
    const Damage rows[] = {
        {"foreign magic", kShowOffMagic, 4, 0x4D42},
        {"version 2", kShowOffVersion, 2, 2},
        {"header size", kShowOffHeaderSize, 2, 52},
        {"table offset", kShowOffTableOffset, 4, 52},
        {"no pictures", kShowOffPictureCount, 2, 0},
        {"too many pictures", kShowOffPictureCount, 2, kShowMaxPictures + 1},
        {"too much music", kShowOffMusicCount, 2, kShowMaxMusic + 1},
        {"interval too short", kShowOffInterval, 4, kShowMinIntervalMs - 1},
        {"interval too long", kShowOffInterval, 4, kShowMaxIntervalMs + 1},
        {"transition as long as the interval", kShowOffTransitionTime, 4, 8000},
        {"background beyond RGB", kShowOffBackground, 4, 0x1000000},
        {"order", kShowOffOrder, 1, 2},
        {"fit", kShowOffFit, 1, 4},
        {"transition", kShowOffTransition, 1, kShowTransitionCount},
        {"unknown flag", kShowOffFlags, 1, 3},
        {"text not after the records", kShowOffTextOffset, 4, text + 2},
        {"odd text size", kShowOffTextSize, 4, 21},
        {"text larger than the captions can be", kShowOffTextSize, 4, 3 * 2 * 127 + 2},
        {"data offset inside the index", kShowOffDataOffset, 4, index - 2},
        {"data short of the end", kShowOffDataSize, 4, 10},
        {"picture of 0 bytes", p0 + 4, 4, 0},
        {"picture before the data", p0, 4, index - 1},
        {"picture past the end", p0 + 4, 4, 1000000},
        {"picture wrapping past 4 GiB", p0 + 4, 4, 0xFFFFFFFFu},
        {"width 0", p0 + 8, 2, 0},
        {"height 0", p1 + 10, 2, 0},
        {"format 0", p0 + 12, 1, 0},
        {"format beyond PNG", p0 + 12, 1, kShowPng + 1},
        {"reserved byte", p0 + 13, 1, 1},
        {"reserved word", p1 + 20, 4, 1},
        {"caption too long", p0 + 14, 2, kShowMaxCaption + 1},
        {"caption past the text", p0 + 14, 2, 14},
        {"caption before the text", p0 + 16, 4, text - 2},
        {"caption wrapping", p0 + 16, 4, 0xFFFFFFFEu},
        {"music of 0 bytes", m0 + 4, 4, 0},
        {"music past the end", m0, 4, static_cast<uint32_t>(s.movie.size())},
        {"music format 0", m0 + 8, 1, 0},
        {"music format beyond MIDI", m0 + 8, 1, kShowMidi + 1},
        {"music reserved byte", m0 + 10, 1, 1},
        {"music reserved word", m0 + 12, 4, 5},
    };
    for (const Damage& row : rows) {
        Bytes movie = s.movie;
        if (row.width == 1) movie[row.at] = static_cast<uint8_t>(row.value);
        if (row.width == 2) Set16(&movie, row.at, row.value);
        if (row.width == 4) Set32(&movie, row.at, row.value);
        ShowView view;
        view.valid = 1;
        EXPECT_EQ(0, Parse(movie, &view)) << row.what;
        EXPECT_EQ(0, view.valid) << row.what;
        ShowPicture p;
        EXPECT_EQ(0, ShowPictureAt(&view, 0, &p)) << row.what;
    }
}

TEST(Show, IndexLargerThanGivenOrThanMovieIsRefused) {
    const Sample s;
    const uint32_t size = static_cast<uint32_t>(s.movie.size());
    const uint32_t index = ShowIndexSize(s.movie.data(), 48, size);
    ShowView view;
    EXPECT_EQ(0u, ShowIndexSize(s.movie.data(), 47, size));  // less than a header
    EXPECT_EQ(0u, ShowIndexSize(s.movie.data(), 48, index - 1));
    EXPECT_EQ(0, ParseShow(s.movie.data(), index - 1, size, &view));
    // A MOVIE cut anywhere inside its files no longer adds up.
    EXPECT_EQ(0, ParseShow(s.movie.data(), index, size - 1, &view));
    // The largest index a header can announce still fits the reader's buffer.
    Bytes big(kShowIndexCapacity + 64, 0);
    std::copy(s.movie.begin(), s.movie.begin() + 48, big.begin());
    Set16(&big, kShowOffPictureCount, kShowMaxPictures);
    Set16(&big, kShowOffMusicCount, kShowMaxMusic);
    Set32(&big, kShowOffTextOffset, 48 + kShowMaxPictures * 24 + kShowMaxMusic * 16);
    Set32(&big, kShowOffTextSize, kShowMaxPictures * 2 * kShowMaxCaption);
    EXPECT_EQ(kShowIndexCapacity, ShowIndexSize(big.data(), 48, static_cast<uint32_t>(big.size())));
}

TEST(Show, BitmapIsNoShow) {
    const uint8_t bitmap[] = {'B', 'M', 0x36, 0, 0, 0};
    EXPECT_EQ(0, IsShow(bitmap, sizeof bitmap));
    EXPECT_EQ(0, IsShow(nullptr, 8));
    const Sample s;
    EXPECT_EQ(0, IsShow(s.movie.data(), 3));
}

TEST(Show, WriterRefusesWhatTheReaderWould) {
    struct Row {
        const char* what;
        void (*change)(Sample*);
        const char* message;
    };
    const Row rows[] = {
        {"no pictures", [](Sample* s) { s->pictures.clear(); }, "1 to 1024 pictures, not 0"},
        {"1025 pictures",
         [](Sample* s) { s->pictures.resize(kShowMaxPictures + 1, s->pictures[0]); }, "not 1025"},
        {"65 pieces of music", [](Sample* s) { s->music.resize(65, s->music[0]); }, "not 65"},
        {"caption of 128 units",
         [](Sample* s) { s->pictures[1].caption.assign(kShowMaxCaption + 1, 'a'); },
         "caption of picture 2 is 128"},
        {"a side beyond 65535", [](Sample* s) { s->pictures[2].width = 65536; },
         "picture 3 is 65536x2"},
        {"empty picture", [](Sample* s) { s->pictures[0].bytes.clear(); }, "picture 1 is empty"},
        {"empty music", [](Sample* s) { s->music[1].bytes.clear(); }, "music 2 is empty"},
        {"transition as long as the interval",
         [](Sample* s) { s->settings.transition_ms = s->settings.interval_ms; }, "shorter"},
        {"interval too short", [](Sample* s) { s->settings.interval_ms = 999; }, "1 to 3600"},
    };
    for (const Row& row : rows) {
        Sample s;
        row.change(&s);
        Bytes movie;
        const std::string problem = EncodeShow(s.settings, s.pictures, s.music, &movie);
        EXPECT_NE(std::string::npos, problem.find(row.message)) << row.what << ": " << problem;
    }
    // The largest show: every picture with the longest caption still fits the reader's index.
    Sample s;
    s.pictures.assign(kShowMaxPictures, s.pictures[2]);
    for (ShowPictureData& p : s.pictures)
        p.caption.assign(kShowMaxCaption, 'c');
    s.music.assign(kShowMaxMusic, s.music[1]);
    Bytes movie;
    ASSERT_EQ("", EncodeShow(s.settings, s.pictures, s.music, &movie));
    ShowView view;
    EXPECT_EQ(1, Parse(movie, &view));
}

}  // namespace
