// MOVIE as a picture show: the pictures, captions, music and settings of a slide show, written
// by sspack and read by the screen saver. (A MOVIE that starts with "BM" is a plain bitmap
// instead; see saver/movie.h.)
//
// All integers little-endian; every offset counts from the first byte of MOVIE. The entry is
// stored (never compressed), so the saver reaches a picture by seeking in its own file rather
// than by reading the whole show into memory.
//
//      0  magic "SSHW" | version u16 = 1 | header size u16 = 48
//      8  picture count u16 (1..1024) | music count u16 (0..64)
//     12  interval, ms u32 (1000..3600000)
//     16  transition time, ms u32 (0..60000, below the interval)
//     20  background 0x00RRGGBB u32
//     24  order u8 | fit u8 | transition u8 | flags u8
//     28  table offset u32 (= header size)
//     32  text offset u32 | text size u32          the captions, UTF-16LE, not terminated
//     40  data offset u32 | data size u32          the files, back to back, to the end of MOVIE
//     48  picture records, 24 bytes each:
//           offset u32 | size u32 | width u16 | height u16 | format u8 | 0 u8 |
//           caption length u16 (UTF-16 units, 0..kShowMaxCaption) | caption offset u32 | 0 u32
//         music records, 16 bytes each:
//           offset u32 | size u32 | format u8 | 0 u8 0 u8 0 u8 | 0 u32
//         text ............................................ text size bytes
//         data ............................................ data size bytes
//
// The header, the records and the text together (the index) are at most kShowIndexCapacity
// bytes, so a reader keeps them in one fixed buffer. Every file's bytes lie inside the data
// area, every caption inside the text area. Width and height are the picture's own as sspack
// read them (for layout before decoding and for `sspack info`); a decoder's figures win.
//
// This file is plain C++ without any operating-system header, read by sspack and by the saver.
#pragma once

#include <stdint.h>

constexpr uint32_t kShowMagic = 0x57485353u;  // "SSHW"
constexpr uint16_t kShowVersion = 1;
constexpr uint32_t kShowHeaderSize = 48;
constexpr uint32_t kShowPictureRecordSize = 24;
constexpr uint32_t kShowMusicRecordSize = 16;

constexpr uint32_t kShowMaxPictures = 1024;
constexpr uint32_t kShowMaxMusic = 64;
constexpr uint32_t kShowMaxCaption = 127;  // UTF-16 units of one caption
constexpr uint32_t kShowMinIntervalMs = 1000;
constexpr uint32_t kShowMaxIntervalMs = 3600000;
constexpr uint32_t kShowMaxTransitionMs = 60000;
constexpr uint32_t kShowMaxSide = 65535;

// Header fields.
constexpr uint32_t kShowOffMagic = 0;
constexpr uint32_t kShowOffVersion = 4;
constexpr uint32_t kShowOffHeaderSize = 6;
constexpr uint32_t kShowOffPictureCount = 8;
constexpr uint32_t kShowOffMusicCount = 10;
constexpr uint32_t kShowOffInterval = 12;
constexpr uint32_t kShowOffTransitionTime = 16;
constexpr uint32_t kShowOffBackground = 20;
constexpr uint32_t kShowOffOrder = 24;
constexpr uint32_t kShowOffFit = 25;
constexpr uint32_t kShowOffTransition = 26;
constexpr uint32_t kShowOffFlags = 27;
constexpr uint32_t kShowOffTableOffset = 28;
constexpr uint32_t kShowOffTextOffset = 32;
constexpr uint32_t kShowOffTextSize = 36;
constexpr uint32_t kShowOffDataOffset = 40;
constexpr uint32_t kShowOffDataSize = 44;

// The largest index: header, every record and every caption at its longest.
constexpr uint32_t kShowIndexCapacity =
    kShowHeaderSize + kShowMaxPictures * (kShowPictureRecordSize + 2 * kShowMaxCaption) +
    kShowMaxMusic * kShowMusicRecordSize;
static_assert(kShowIndexCapacity == 285744, "the index fits a 280 KiB buffer");

enum ShowOrder : uint8_t { kShowSequential = 0, kShowRandom = 1 };
enum ShowFit : uint8_t { kShowFit = 0, kShowFill = 1, kShowStretch = 2, kShowCenter = 3 };
enum ShowTransition : uint8_t {
    kShowCut = 0,    // none: the next picture replaces the last at once
    kShowFade = 1,   // the next picture blends in over the last
    kShowWipe = 2,   // the next picture is uncovered from left to right
    kShowSlide = 3,  // the next picture pushes the last out to the left
    kShowTransitionCount = 4
};
constexpr uint8_t kShowFlagMusic = 1;  // flags: play the music (the person at the screen may
                                       // still turn it off)

enum ShowPictureFormat : uint8_t {
    kShowBmp = 1,
    kShowJpeg = 2,
    kShowGif = 3,
    kShowPng = 4,
};
enum ShowMusicFormat : uint8_t { kShowWav = 1, kShowMp3 = 2, kShowMidi = 3 };

// A show checked by ParseShow. It points into the caller's index bytes, which must outlive it.
struct ShowView {
    int valid;               // 1 after a successful ParseShow
    const uint8_t* index;    // the index bytes (header, records, text)
    uint32_t picture_count;  // 1..kShowMaxPictures
    uint32_t music_count;    // 0..kShowMaxMusic
    uint32_t interval_ms;    // time each picture stays, transition included
    uint32_t transition_ms;  // below interval_ms
    uint32_t background;     // 0x00RRGGBB
    uint8_t order, fit, transition, flags;
    uint32_t data_offset;  // where the files start in MOVIE
    uint32_t data_size;    // bytes of files
};

struct ShowPicture {
    uint32_t offset;          // in MOVIE
    uint32_t size;            // bytes, at least 1
    uint32_t width, height;   // as written by sspack
    uint8_t format;           // ShowPictureFormat
    const uint8_t* caption;   // UTF-16LE units inside the index (unaligned); null when none
    uint32_t caption_length;  // units
};

struct ShowMusic {
    uint32_t offset;  // in MOVIE
    uint32_t size;    // bytes, at least 1
    uint8_t format;   // ShowMusicFormat
};

// 1 when `data` (at least 4 bytes) starts a show rather than a bitmap.
int IsShow(const uint8_t* data, uint32_t size);

// The index size that the header at `data` (kShowHeaderSize bytes) announces, so that a reader
// knows how much more to read: 0 when the header is not a show's or the index would be larger
// than kShowIndexCapacity or than `movie_size`.
uint32_t ShowIndexSize(const uint8_t* data, uint32_t size, uint32_t movie_size);

// Checks `index_size` bytes of index, from a MOVIE of `movie_size` bytes, and fills `show`.
// Returns 1, or 0 (show->valid 0) for a foreign magic or version, counts or times out of range,
// an unknown order, fit or transition, records or captions outside their areas, a file outside
// the data area or of size 0, an unknown format, or areas past `movie_size`.
int ParseShow(const uint8_t* index, uint32_t index_size, uint32_t movie_size, ShowView* show);

// Picture `i` (0-based) or music `i` of a valid show. 0 past the count.
int ShowPictureAt(const ShowView* show, uint32_t i, ShowPicture* picture);
int ShowMusicAt(const ShowView* show, uint32_t i, ShowMusic* music);

// The 32-bit and 16-bit little-endian values at `p`, as both readers and the writer use them.
inline uint32_t ShowU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint32_t ShowU16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}
