// The show's arithmetic: where pictures land, how transitions move, which picture follows, the
// settings a user may store, and the fade's blend.
#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>

#include "saver/show_plan.h"
#include "saver/wininit.h"

namespace {

TEST(ShowLayout, PicturesLandWhereTheirFitPutsThem) {
    struct Row {
        const char* tag;
        uint32_t w, h;
        int32_t aw, ah;
        uint8_t fit;
        PictureLayout expected;  // scaled w h, place x y, visible x y w h
    } rows[] = {
        {"fit: 4:3 on 16:9, bars left and right",
         4000,
         3000,
         1920,
         1080,
         kShowFit,
         {1440, 1080, 240, 0, 240, 0, 1440, 1080}},
        {"fit: panorama, bars above and below",
         6000,
         1000,
         1920,
         1080,
         kShowFit,
         {1920, 320, 0, 380, 0, 380, 1920, 320}},
        {"fit: a small picture grows",
         192,
         108,
         1920,
         1080,
         kShowFit,
         {1920, 1080, 0, 0, 0, 0, 1920, 1080}},
        {"fit: a line keeps one pixel",
         65535,
         1,
         1920,
         1080,
         kShowFit,
         {1920, 1, 0, 539, 0, 539, 1920, 1}},
        {"fill: 4:3 on 16:9, cropped above and below",
         4000,
         3000,
         1920,
         1080,
         kShowFill,
         {1920, 1440, 0, -180, 0, 0, 1920, 1080}},
        {"fill: tall, cropped left and right",
         1000,
         2000,
         1920,
         1080,
         kShowFill,
         {1920, 3840, 0, -1380, 0, 0, 1920, 1080}},
        {"stretch", 4000, 3000, 1920, 1080, kShowStretch, {1920, 1080, 0, 0, 0, 0, 1920, 1080}},
        {"center: small", 100, 50, 1920, 1080, kShowCenter, {100, 50, 910, 515, 910, 515, 100, 50}},
        {"center: larger than the area",
         4000,
         3000,
         1920,
         1080,
         kShowCenter,
         {4000, 3000, -1040, -960, 0, 0, 1920, 1080}},
        {"unknown fit: its own size",
         100,
         50,
         1920,
         1080,
         9,
         {100, 50, 910, 515, 910, 515, 100, 50}},
        {"preview area", 1024, 768, 152, 112, kShowFit, {149, 112, 1, 0, 1, 0, 149, 112}},
    };
    for (const Row& r : rows) {
        PictureLayout got;
        ASSERT_EQ(LayOutPicture(r.w, r.h, r.aw, r.ah, r.fit, &got), 1) << r.tag;
        const PictureLayout& e = r.expected;
        EXPECT_EQ(got.scaled_w, e.scaled_w) << r.tag;
        EXPECT_EQ(got.scaled_h, e.scaled_h) << r.tag;
        EXPECT_EQ(got.place_x, e.place_x) << r.tag;
        EXPECT_EQ(got.place_y, e.place_y) << r.tag;
        EXPECT_EQ(got.x, e.x) << r.tag;
        EXPECT_EQ(got.y, e.y) << r.tag;
        EXPECT_EQ(got.w, e.w) << r.tag;
        EXPECT_EQ(got.h, e.h) << r.tag;
        // What shows lies inside the area and inside the scaled picture: the decoder copies
        // exactly this rectangle of the one into the other.
        EXPECT_GE(got.x - got.place_x, 0) << r.tag;
        EXPECT_LE(got.x - got.place_x + got.w, got.scaled_w) << r.tag;
        EXPECT_LE(got.y - got.place_y + got.h, got.scaled_h) << r.tag;
        EXPECT_LE(got.x + got.w, r.aw) << r.tag;
        EXPECT_LE(got.y + got.h, r.ah) << r.tag;
    }
}

TEST(ShowLayout, NothingToLayOut) {
    PictureLayout got;
    EXPECT_EQ(LayOutPicture(0, 10, 100, 100, kShowFit, &got), 0);
    EXPECT_EQ(LayOutPicture(10, 0, 100, 100, kShowFit, &got), 0);
    EXPECT_EQ(LayOutPicture(10, 10, 0, 100, kShowFit, &got), 0);
    EXPECT_EQ(LayOutPicture(10, 10, 100, -5, kShowFit, &got), 0);
    EXPECT_EQ(got.w, 0);
}

TEST(ShowTransition, StepsFollowTheClock) {
    struct Row {
        const char* tag;
        uint8_t transition;
        uint32_t elapsed, duration;
        TransitionStep expected;
    } rows[] = {
        {"cut is done at once", kShowCut, 0, 1000, {1, 256, 1920}},
        {"no duration", kShowFade, 0, 0, {1, 256, 1920}},
        {"fade starts with the old picture", kShowFade, 0, 1000, {0, 0, 0}},
        {"fade half way", kShowFade, 500, 1000, {0, 128, 960}},
        {"fade just before the end", kShowFade, 999, 1000, {0, 255, 1918}},
        {"fade at the end", kShowFade, 1000, 1000, {1, 256, 1920}},
        {"wipe a quarter", kShowWipe, 250, 1000, {0, 64, 480}},
        {"slide late", kShowSlide, 5000, 1000, {1, 256, 1920}},
        {"a clock far past the end", kShowSlide, 0xFFFFFFFFu, 60000, {1, 256, 1920}},
    };
    for (const Row& r : rows) {
        const TransitionStep got = StepTransition(r.transition, r.elapsed, r.duration, 1920);
        EXPECT_EQ(got.done, r.expected.done) << r.tag;
        EXPECT_EQ(got.alpha, r.expected.alpha) << r.tag;
        EXPECT_EQ(got.split, r.expected.split) << r.tag;
    }
    // Long transitions on wide screens: no overflow of elapsed x width.
    EXPECT_EQ(StepTransition(kShowWipe, 59999, 60000, 32767).split, 32766);
}

TEST(ShowOrder, SequentialWrapsAndRandomNeverRepeats) {
    uint32_t seed = 1;
    EXPECT_EQ(NextPicture(kShowSequential, 3, 0, &seed), 1u);
    EXPECT_EQ(NextPicture(kShowSequential, 3, 2, &seed), 0u);
    EXPECT_EQ(NextPicture(kShowRandom, 1, 0, &seed), 0u);
    EXPECT_EQ(NextPicture(kShowSequential, 0, 0, &seed), 0u);
    for (uint32_t count : {2u, 3u, 7u, 1024u}) {
        uint32_t current = 0;
        std::set<uint32_t> seen;
        seed = 0;  // a zero seed must not get stuck
        for (int i = 0; i < 20000; ++i) {
            const uint32_t next = NextPicture(kShowRandom, count, current, &seed);
            ASSERT_LT(next, count);
            ASSERT_NE(next, current) << "count " << count;
            seen.insert(next);
            current = next;
        }
        EXPECT_EQ(seen.size(), count) << "every picture comes up";
    }
}

ShowView AuthorShow() {
    ShowView show = {};
    show.valid = 1;
    show.picture_count = 3;
    show.music_count = 1;
    show.interval_ms = 8000;
    show.transition_ms = 1500;
    show.order = kShowSequential;
    show.fit = kShowFill;
    show.transition = kShowWipe;
    show.flags = kShowFlagMusic;
    return show;
}

TEST(ShowSettingsTest, StoredValuesInRangeWinOthersKeepTheAuthors) {
    const ShowView show = AuthorShow();
    struct Row {
        const char* tag;
        StoredSettings stored;
        ShowSettings expected;
    } rows[] = {
        {"nothing stored",
         {-1, -1, -1, -1, -1},
         {8000, 1500, kShowSequential, kShowFill, kShowWipe, 1}},
        {"all stored", {20, 1, 3, 1, 0}, {20000, 1500, kShowRandom, kShowCenter, kShowFade, 0}},
        {"bounds", {1, 0, 0, 0, 1}, {1000, 500, kShowSequential, kShowFit, kShowCut, 1}},
        {"longest interval", {3600, -1, -1, 3, -1}, {3600000, 1500, 0, kShowFill, kShowSlide, 1}},
        {"out of range", {0, 2, 4, 4, 2}, {8000, 1500, kShowSequential, kShowFill, kShowWipe, 1}},
        {"too long",
         {3601, -1, -1, -1, -1},
         {8000, 1500, kShowSequential, kShowFill, kShowWipe, 1}},
        {"huge", {int64_t{1} << 40, -1, -1, -1, -1}, {8000, 1500, 0, kShowFill, kShowWipe, 1}},
        {"an interval below the transition",
         {1, -1, -1, -1, -1},
         {1000, 500, 0, kShowFill, kShowWipe, 1}},
    };
    for (const Row& r : rows) {
        ShowSettings got = SettingsOfShow(&show);
        ApplyStoredSettings(&r.stored, &got);
        EXPECT_EQ(got.interval_ms, r.expected.interval_ms) << r.tag;
        EXPECT_EQ(got.transition_ms, r.expected.transition_ms) << r.tag;
        EXPECT_LT(got.transition_ms, got.interval_ms) << r.tag;
        EXPECT_EQ(got.order, r.expected.order) << r.tag;
        EXPECT_EQ(got.fit, r.expected.fit) << r.tag;
        EXPECT_EQ(got.transition, r.expected.transition) << r.tag;
        EXPECT_EQ(got.music, r.expected.music) << r.tag;
    }
    ShowView silent = show;
    silent.music_count = 0;
    EXPECT_EQ(SettingsOfShow(&silent).music, 0) << "no music to play";
    silent = show;
    silent.flags = 0;
    EXPECT_EQ(SettingsOfShow(&silent).music, 0) << "the author turned it off";
}

TEST(ShowFade, BlendWeighsEachChannelApart) {
    const uint32_t old_pixels[] = {0x00FF00FFu, 0x00000000u, 0x00123456u, 0x00FFFFFFu};
    const uint32_t new_pixels[] = {0x0000FF00u, 0x00FFFFFFu, 0x00654321u, 0x00FFFFFFu};
    uint32_t out[4];
    BlendPixels(out, old_pixels, new_pixels, 4, 0);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 4),
              std::vector<uint32_t>(old_pixels, old_pixels + 4));
    BlendPixels(out, old_pixels, new_pixels, 4, 256);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 4),
              std::vector<uint32_t>(new_pixels, new_pixels + 4));
    BlendPixels(out, old_pixels, new_pixels, 4, 128);
    EXPECT_EQ(out[0], 0x007F7F7Fu);
    EXPECT_EQ(out[1], 0x007F7F7Fu);
    EXPECT_EQ(out[2], 0x003B3B3Bu);
    EXPECT_EQ(out[3], 0x00FFFFFFu) << "white stays white, nothing carries into the next channel";
    // The high byte of the inputs (the decoders leave 0xFF there) does not leak into the result.
    const uint32_t opaque_old = 0xFF102030u, opaque_new = 0xFF405060u;
    BlendPixels(out, &opaque_old, &opaque_new, 1, 64);
    EXPECT_EQ(out[0], 0x001C2C3Cu);
    // In place, as the saver may call it.
    uint32_t in_place[] = {0x00000000u};
    const uint32_t white = 0x00FFFFFFu;
    BlendPixels(in_place, in_place, &white, 1, 256);
    EXPECT_EQ(in_place[0], 0x00FFFFFFu);
}

}  // namespace

namespace {

// The removal at restart on 9x: the line joins [Rename] and nothing else of the file changes.
TEST(WinInitRemoval, LineJoinsTheRenameSectionOnce) {
    const char* path = "C:\\WINDOWS\\HOLIDA~1.SCR";
    struct Row {
        const char* tag;
        std::string before, after;
    } rows[] = {
        {"no file yet", "", "[Rename]\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR\r\n"},
        {"another program's removal stays", "[Rename]\r\nNUL=C:\\TEMP\\OTHER.TMP\r\n",
         "[Rename]\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR\r\nNUL=C:\\TEMP\\OTHER.TMP\r\n"},
        {"section in any case, last line without its end", "[boot]\r\nx=1\r\n[rename]",
         "[boot]\r\nx=1\r\n[rename]\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR\r\n"},
        {"only another section, without a last line end", "[boot]\r\nx=1",
         "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR\r\n"},
        {"asked for already, in other case", "[Rename]\r\nnul=c:\\windows\\holida~1.scr  \r\n",
         "[Rename]\r\nnul=c:\\windows\\holida~1.scr  \r\n"},
        {"a longer name is another file", "[Rename]\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR2\r\n",
         "[Rename]\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR\r\nNUL=C:\\WINDOWS\\HOLIDA~1.SCR2\r\n"},
    };
    for (const Row& r : rows) {
        char text[256] = {};
        memcpy(text, r.before.data(), r.before.size());
        const uint32_t size =
            AddRemovalLine(text, static_cast<uint32_t>(r.before.size()), sizeof text, path);
        EXPECT_EQ(std::string(text, size), r.after) << r.tag;
    }
    // A text that would outgrow its buffer is left alone.
    char full[40] = "[Rename]\r\nNUL=C:\\TEMP\\OTHER.TMP\r\n";
    const std::string was(full);
    EXPECT_EQ(AddRemovalLine(full, static_cast<uint32_t>(was.size()), sizeof full, path), 0u);
    EXPECT_EQ(std::string(full), was);
}

}  // namespace
