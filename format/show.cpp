// Checking a show's index before anything of it is used.
#include "format/show.h"

int IsShow(const uint8_t* data, uint32_t size) {
    return data && size >= 4 && ShowU32(data + kShowOffMagic) == kShowMagic;
}

// Sizes announced by a header, before the records are looked at; 0 when they cannot be right.
static uint32_t AnnouncedIndexSize(const uint8_t* h) {
    const uint32_t pictures = ShowU16(h + kShowOffPictureCount);
    const uint32_t music = ShowU16(h + kShowOffMusicCount);
    if (ShowU32(h + kShowOffMagic) != kShowMagic || ShowU16(h + kShowOffVersion) != kShowVersion ||
        ShowU16(h + kShowOffHeaderSize) != kShowHeaderSize ||
        ShowU32(h + kShowOffTableOffset) != kShowHeaderSize)
        return 0;
    if (pictures < 1 || pictures > kShowMaxPictures || music > kShowMaxMusic) return 0;
    const uint32_t table_end =
        kShowHeaderSize + pictures * kShowPictureRecordSize + music * kShowMusicRecordSize;
    const uint32_t text_offset = ShowU32(h + kShowOffTextOffset);
    const uint32_t text_size = ShowU32(h + kShowOffTextSize);
    // The text follows the records; each caption is at most kShowMaxCaption units.
    if (text_offset != table_end || text_size > pictures * 2 * kShowMaxCaption || text_size % 2)
        return 0;
    return table_end + text_size;
}

uint32_t ShowIndexSize(const uint8_t* data, uint32_t size, uint32_t movie_size) {
    if (!data || size < kShowHeaderSize) return 0;
    const uint32_t index_size = AnnouncedIndexSize(data);
    if (index_size == 0 || index_size > kShowIndexCapacity || index_size > movie_size) return 0;
    return index_size;
}

// 1 when [offset, offset + size) lies inside [area, area + area_size); no sum can wrap.
static int Inside(uint32_t offset, uint32_t size, uint32_t area, uint32_t area_size) {
    return offset >= area && offset - area <= area_size && size <= area_size - (offset - area);
}

int ParseShow(const uint8_t* index, uint32_t index_size, uint32_t movie_size, ShowView* show) {
    show->valid = 0;
    const uint32_t expected = ShowIndexSize(index, index_size, movie_size);
    if (expected == 0 || index_size < expected) return 0;
    const uint8_t* h = index;
    ShowView v = {};
    v.index = index;
    v.picture_count = ShowU16(h + kShowOffPictureCount);
    v.music_count = ShowU16(h + kShowOffMusicCount);
    v.interval_ms = ShowU32(h + kShowOffInterval);
    v.transition_ms = ShowU32(h + kShowOffTransitionTime);
    v.background = ShowU32(h + kShowOffBackground);
    v.order = h[kShowOffOrder];
    v.fit = h[kShowOffFit];
    v.transition = h[kShowOffTransition];
    v.flags = h[kShowOffFlags];
    v.data_offset = ShowU32(h + kShowOffDataOffset);
    v.data_size = ShowU32(h + kShowOffDataSize);
    if (v.interval_ms < kShowMinIntervalMs || v.interval_ms > kShowMaxIntervalMs) return 0;
    if (v.transition_ms > kShowMaxTransitionMs || v.transition_ms >= v.interval_ms) return 0;
    if (v.background > 0xFFFFFFu || v.order > kShowRandom || v.fit > kShowCenter ||
        v.transition >= kShowTransitionCount || (v.flags & ~kShowFlagMusic))
        return 0;
    // The files follow the index and reach the end of MOVIE.
    if (v.data_offset != expected || v.data_size != movie_size - expected) return 0;

    const uint32_t text_offset = ShowU32(h + kShowOffTextOffset);
    const uint32_t text_size = ShowU32(h + kShowOffTextSize);
    for (uint32_t i = 0; i < v.picture_count; ++i) {
        const uint8_t* r = h + kShowHeaderSize + i * kShowPictureRecordSize;
        const uint32_t offset = ShowU32(r), size = ShowU32(r + 4);
        const uint32_t width = ShowU16(r + 8), height = ShowU16(r + 10);
        const uint8_t format = r[12];
        const uint32_t caption_length = ShowU16(r + 14), caption_offset = ShowU32(r + 16);
        if (size == 0 || !Inside(offset, size, v.data_offset, v.data_size)) return 0;
        if (width == 0 || height == 0 || format < kShowBmp || format > kShowPng) return 0;
        if (r[13] != 0 || ShowU32(r + 20) != 0) return 0;
        if (caption_length > kShowMaxCaption) return 0;
        if (caption_length && !Inside(caption_offset, 2 * caption_length, text_offset, text_size))
            return 0;
    }
    for (uint32_t i = 0; i < v.music_count; ++i) {
        const uint8_t* r = h + kShowHeaderSize + v.picture_count * kShowPictureRecordSize +
                           i * kShowMusicRecordSize;
        const uint32_t offset = ShowU32(r), size = ShowU32(r + 4);
        if (size == 0 || !Inside(offset, size, v.data_offset, v.data_size)) return 0;
        if (r[8] < kShowWav || r[8] > kShowMidi || r[9] || r[10] || r[11] || ShowU32(r + 12))
            return 0;
    }
    v.valid = 1;
    *show = v;
    return 1;
}

int ShowPictureAt(const ShowView* show, uint32_t i, ShowPicture* picture) {
    if (!show->valid || i >= show->picture_count) return 0;
    const uint8_t* r = show->index + kShowHeaderSize + i * kShowPictureRecordSize;
    picture->offset = ShowU32(r);
    picture->size = ShowU32(r + 4);
    picture->width = ShowU16(r + 8);
    picture->height = ShowU16(r + 10);
    picture->format = r[12];
    picture->caption_length = ShowU16(r + 14);
    picture->caption = picture->caption_length ? show->index + ShowU32(r + 16) : nullptr;
    return 1;
}

int ShowMusicAt(const ShowView* show, uint32_t i, ShowMusic* music) {
    if (!show->valid || i >= show->music_count) return 0;
    const uint8_t* r = show->index + kShowHeaderSize +
                       show->picture_count * kShowPictureRecordSize + i * kShowMusicRecordSize;
    music->offset = ShowU32(r);
    music->size = ShowU32(r + 4);
    music->format = r[8];
    return 1;
}
