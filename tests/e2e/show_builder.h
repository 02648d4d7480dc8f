// Writes a picture show (MOVIE) from files, for the saver's tests on the host and under Wine:
// the layout of format/show.h, with the values the tests choose.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "format/show.h"

struct ShowBuilderPicture {
    std::vector<uint8_t> bytes;
    uint16_t width, height;
    uint8_t format;  // ShowPictureFormat
    std::u16string caption;
};

struct ShowBuilderMusic {
    std::vector<uint8_t> bytes;
    uint8_t format;  // ShowMusicFormat
};

struct ShowBuilder {
    uint32_t interval_ms = 10000;
    uint32_t transition_ms = 1000;
    uint32_t background = 0;
    uint8_t order = kShowSequential, fit = kShowFit, transition = kShowFade, flags = 0;
    std::vector<ShowBuilderPicture> pictures;
    std::vector<ShowBuilderMusic> music;

    std::vector<uint8_t> Build() const {
        const uint32_t table_end = kShowHeaderSize +
                                   uint32_t(pictures.size()) * kShowPictureRecordSize +
                                   uint32_t(music.size()) * kShowMusicRecordSize;
        uint32_t text_size = 0;
        for (const auto& p : pictures)
            text_size += 2 * uint32_t(p.caption.size());
        const uint32_t data_offset = table_end + text_size;
        std::vector<uint8_t> out(data_offset, 0);
        auto put16 = [&](uint32_t at, uint32_t v) {
            out[at] = uint8_t(v);
            out[at + 1] = uint8_t(v >> 8);
        };
        auto put32 = [&](uint32_t at, uint32_t v) {
            put16(at, v & 0xFFFF);
            put16(at + 2, v >> 16);
        };
        put32(kShowOffMagic, kShowMagic);
        put16(kShowOffVersion, kShowVersion);
        put16(kShowOffHeaderSize, kShowHeaderSize);
        put16(kShowOffPictureCount, uint32_t(pictures.size()));
        put16(kShowOffMusicCount, uint32_t(music.size()));
        put32(kShowOffInterval, interval_ms);
        put32(kShowOffTransitionTime, transition_ms);
        put32(kShowOffBackground, background);
        out[kShowOffOrder] = order;
        out[kShowOffFit] = fit;
        out[kShowOffTransition] = transition;
        out[kShowOffFlags] = flags;
        put32(kShowOffTableOffset, kShowHeaderSize);
        put32(kShowOffTextOffset, table_end);
        put32(kShowOffTextSize, text_size);
        put32(kShowOffDataOffset, data_offset);
        uint32_t text_at = table_end, data_at = data_offset;
        for (size_t i = 0; i < pictures.size(); ++i) {
            const ShowBuilderPicture& p = pictures[i];
            const uint32_t r = kShowHeaderSize + uint32_t(i) * kShowPictureRecordSize;
            put32(r, data_at);
            put32(r + 4, uint32_t(p.bytes.size()));
            put16(r + 8, p.width);
            put16(r + 10, p.height);
            out[r + 12] = p.format;
            put16(r + 14, uint32_t(p.caption.size()));
            put32(r + 16, p.caption.empty() ? 0 : text_at);
            for (char16_t c : p.caption) {
                put16(text_at, c);
                text_at += 2;
            }
            data_at += uint32_t(p.bytes.size());
        }
        for (size_t i = 0; i < music.size(); ++i) {
            const uint32_t r = kShowHeaderSize +
                               uint32_t(pictures.size()) * kShowPictureRecordSize +
                               uint32_t(i) * kShowMusicRecordSize;
            put32(r, data_at);
            put32(r + 4, uint32_t(music[i].bytes.size()));
            out[r + 8] = music[i].format;
            data_at += uint32_t(music[i].bytes.size());
        }
        for (const auto& p : pictures)
            out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        for (const auto& m : music)
            out.insert(out.end(), m.bytes.begin(), m.bytes.end());
        put32(kShowOffDataSize, uint32_t(out.size()) - data_offset);
        return out;
    }
};
