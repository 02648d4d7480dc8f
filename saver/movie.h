// MOVIE: the picture the saver shows, a Windows bitmap file whose palette may cycle.
//
//    0  "BM" | file size u32 | cycle first u16 | cycle count u16 | bits offset u32   (14 bytes)
//   14  info header: size u32 (40 or more) | width i32 | height i32 | planes u16 = 1 |
//       bit count u16 (8 or 24) | compression u32 = 0 | image size u32 | x, y resolution |
//       colours used u32 (8 bit: 1..256, 0 meaning 256) | colours important u32
//   14 + info header size: palette, colours used x (blue, green, red, 0)  (8 bit only)
//   bits offset: the rows, bottom row first (top row first when the height is negative),
//       each padded to a multiple of 4 bytes
//
// The two 16-bit fields that a bitmap file keeps reserved name the palette entries that cycle:
// every tick the colours of entries first .. first + count - 1 move up by one place, the last
// coming round to the first. A count of 0, or a 24-bit picture, shows a still picture, so any
// ordinary bitmap file is a valid MOVIE and every picture viewer shows a MOVIE's first frame.
// This file is plain C++ without any operating-system header so that the host tests run it.
#pragma once

#include <stdint.h>

constexpr uint32_t kMovieFileHeaderSize = 14;
constexpr uint32_t kMovieInfoHeaderSize = 40;
constexpr uint32_t kMovieMaxColours = 256;
constexpr int32_t kMovieMaxSide = 8192;

// A MOVIE checked and ready to draw. `header` is a 40-byte bitmap info header followed by the
// palette, laid out as Windows expects it for drawing, so the cycling happens on this copy and
// never on the file's bytes.
struct MovieView {
    int valid;             // 1 after a successful OpenMovie
    const uint8_t* bits;   // first byte of the rows, inside the file's bytes
    int32_t width;         // pixels
    int32_t height;        // pixels, always positive
    uint32_t bit_count;    // 8 or 24
    uint32_t colours;      // palette entries (0 for 24 bit)
    uint32_t cycle_first;  // first cycling entry
    uint32_t cycle_count;  // cycling entries; 0 for a still picture
    uint8_t header[kMovieInfoHeaderSize + 4 * kMovieMaxColours];  // 1,064 bytes: info + palette
};

// Checks `size` bytes of a bitmap file and fills `view`; the bits stay in `data`, which must
// outlive the view. Returns 1, or 0 (and view->valid 0) for anything this saver cannot show:
// a short or foreign header, compression, another bit count, a palette or rows past the end, a
// side of 0 or above 8192, a cycling range past the palette.
int OpenMovie(const uint8_t* data, uint32_t size, MovieView* view);

// Moves the cycling colours one place up. Nothing happens to a still picture.
void CycleMovieColours(MovieView* view);

// The palette entry `index` of the view as 0x00RRGGBB (for tests and the fallback background).
uint32_t MovieColour(const MovieView* view, uint32_t index);
