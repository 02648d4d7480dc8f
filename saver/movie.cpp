// Checking a MOVIE bitmap and cycling its palette. See movie.h for the layout.
#include "saver/movie.h"

#include <string.h>

static uint32_t Word16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

static uint32_t Word32(const uint8_t* p) {
    return Word16(p) | Word16(p + 2) << 16;
}

static void PutWord32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

// Fails unless every field is one this saver draws; sizes are compared in 64 bits so that no
// header value can wrap a bound.
static int CheckHeaders(const uint8_t* data, uint32_t size, MovieView* view) {
    if (size < kMovieFileHeaderSize + kMovieInfoHeaderSize) return 0;
    if (data[0] != 'B' || data[1] != 'M') return 0;
    const uint8_t* info = data + kMovieFileHeaderSize;
    const uint64_t info_size = Word32(info);
    const int32_t width = static_cast<int32_t>(Word32(info + 4));
    const int32_t height = static_cast<int32_t>(Word32(info + 8));
    const uint32_t planes = Word16(info + 12);
    const uint32_t bit_count = Word16(info + 14);
    const uint32_t compression = Word32(info + 16);
    uint32_t colours = Word32(info + 32);
    if (info_size < kMovieInfoHeaderSize || planes != 1 || compression != 0) return 0;
    if (bit_count != 8 && bit_count != 24) return 0;
    if (width < 1 || width > kMovieMaxSide) return 0;
    if (height == 0 || height < -kMovieMaxSide || height > kMovieMaxSide) return 0;
    if (bit_count == 24) colours = 0;
    if (bit_count == 8 && colours == 0) colours = kMovieMaxColours;
    if (colours > kMovieMaxColours) return 0;
    const uint64_t palette_end = kMovieFileHeaderSize + info_size + 4ull * colours;
    const uint64_t bits_offset = Word32(data + 10);
    const uint64_t stride = (static_cast<uint64_t>(width) * bit_count / 8 + 3) & ~3ull;
    const uint64_t rows = height < 0 ? static_cast<uint64_t>(-height) : height;
    if (palette_end > size || bits_offset < palette_end || bits_offset + stride * rows > size)
        return 0;
    const uint32_t cycle_first = Word16(data + 6);
    const uint32_t cycle_count = bit_count == 8 ? Word16(data + 8) : 0;
    if (cycle_count > 0 && cycle_first + cycle_count > colours) return 0;
    view->bits = data + bits_offset;
    view->width = width;
    view->height = static_cast<int32_t>(rows);
    view->bit_count = bit_count;
    view->colours = colours;
    view->cycle_first = cycle_first;
    view->cycle_count = cycle_count;
    return 1;
}

int OpenMovie(const uint8_t* data, uint32_t size, MovieView* view) {
    memset(view, 0, sizeof(*view));
    if (!data || !CheckHeaders(data, size, view)) {
        memset(view, 0, sizeof(*view));
        return 0;
    }
    // The drawing header: the file's first 40 bytes of info header, whatever version it was,
    // with its size set to 40 so the palette follows at once. Its height keeps the file's sign,
    // which tells the row order.
    const uint8_t* info = data + kMovieFileHeaderSize;
    memcpy(view->header, info, kMovieInfoHeaderSize);
    PutWord32(view->header, kMovieInfoHeaderSize);
    PutWord32(view->header + 32, view->colours);
    memcpy(view->header + kMovieInfoHeaderSize, info + Word32(info), 4 * view->colours);
    view->valid = 1;
    return 1;
}

void CycleMovieColours(MovieView* view) {
    if (!view->valid || view->cycle_count < 2) return;
    uint8_t* first = view->header + kMovieInfoHeaderSize + 4 * view->cycle_first;
    uint8_t last[4];
    memcpy(last, first + 4 * (view->cycle_count - 1), 4);
    memmove(first + 4, first, 4 * (view->cycle_count - 1));
    memcpy(first, last, 4);
}

uint32_t MovieColour(const MovieView* view, uint32_t index) {
    if (!view->valid || index >= view->colours) return 0;
    const uint8_t* entry = view->header + kMovieInfoHeaderSize + 4 * index;
    return static_cast<uint32_t>(entry[2]) << 16 | static_cast<uint32_t>(entry[1]) << 8 | entry[0];
}
