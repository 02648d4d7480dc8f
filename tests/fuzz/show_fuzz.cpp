// The picture show's reader over an arbitrary MOVIE, read as the screen saver reads it: the
// header, then the index it announces, then the records. Whatever is accepted lies inside the
// MOVIE and the index: every picture and piece of music in the data area, every caption in the
// text, the transition shorter than the interval.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "format/show.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    const uint32_t movie_size = static_cast<uint32_t>(size);
    IsShow(data, movie_size);
    // The reader's buffer holds the header first, then the index; copied so that ASan sees a
    // read past what was read.
    std::vector<uint8_t> header(data, data + (size < kShowHeaderSize ? size : kShowHeaderSize));
    const uint32_t index_size =
        ShowIndexSize(header.data(), static_cast<uint32_t>(header.size()), movie_size);
    Check(index_size == 0 || (index_size >= kShowHeaderSize && index_size <= kShowIndexCapacity &&
                              index_size <= movie_size));
    if (index_size == 0) return 0;
    std::vector<uint8_t> index(data, data + index_size);
    ShowView view;
    if (!ParseShow(index.data(), index_size, movie_size, &view)) {
        Check(view.valid == 0);
        return 0;
    }
    Check(view.valid == 1 && view.data_offset == index_size &&
          view.data_offset + uint64_t{view.data_size} == movie_size);
    Check(view.picture_count >= 1 && view.picture_count <= kShowMaxPictures);
    Check(view.music_count <= kShowMaxMusic);
    Check(view.transition_ms < view.interval_ms && view.interval_ms >= kShowMinIntervalMs);
    for (uint32_t i = 0; i < view.picture_count; ++i) {
        ShowPicture p;
        Check(ShowPictureAt(&view, i, &p) == 1);
        Check(p.size > 0 && p.offset >= index_size && uint64_t{p.offset} + p.size <= movie_size);
        Check(p.width > 0 && p.height > 0 && p.format >= kShowBmp && p.format <= kShowPng);
        Check(p.caption_length <= kShowMaxCaption);
        if (p.caption_length) {
            Check(p.caption >= index.data() &&
                  p.caption + 2 * p.caption_length <= index.data() + index_size);
            volatile uint32_t sum = 0;
            for (uint32_t k = 0; k < p.caption_length; ++k)
                sum = sum + ShowU16(p.caption + 2 * k);
        } else {
            Check(p.caption == nullptr);
        }
    }
    for (uint32_t i = 0; i < view.music_count; ++i) {
        ShowMusic m;
        Check(ShowMusicAt(&view, i, &m) == 1);
        Check(m.size > 0 && m.offset >= index_size && uint64_t{m.offset} + m.size <= movie_size);
        Check(m.format >= kShowWav && m.format <= kShowMidi);
    }
    ShowPicture p;
    Check(ShowPictureAt(&view, view.picture_count, &p) == 0);
    return 0;
}
