// Laying out a picture show. Everything the reader checks is checked here first, so a show that
// is written is one that the screen saver accepts.
#include "tools/sspack/show_write.h"

#include <algorithm>

#include "tools/sspack/pe_image.h"

std::string EncodeShow(const ShowSettings& s, const std::vector<ShowPictureData>& pictures,
                       const std::vector<ShowMusicData>& music, std::vector<uint8_t>* movie) {
    if (pictures.empty() || pictures.size() > kShowMaxPictures)
        return "a show holds 1 to " + std::to_string(kShowMaxPictures) + " pictures, not " +
               std::to_string(pictures.size());
    if (music.size() > kShowMaxMusic)
        return "a show holds at most " + std::to_string(kShowMaxMusic) + " pieces of music, not " +
               std::to_string(music.size());
    if (s.interval_ms < kShowMinIntervalMs || s.interval_ms > kShowMaxIntervalMs)
        return "the interval must be 1 to 3600 seconds";
    if (s.transition_ms > kShowMaxTransitionMs || s.transition_ms >= s.interval_ms)
        return "the transition must be shorter than the interval and at most 60 seconds";
    if (s.background > 0xFFFFFF || s.order > kShowRandom || s.fit > kShowCenter ||
        s.transition >= kShowTransitionCount)
        return "a setting of the show is out of range";

    const uint32_t table_end = kShowHeaderSize +
                               static_cast<uint32_t>(pictures.size()) * kShowPictureRecordSize +
                               static_cast<uint32_t>(music.size()) * kShowMusicRecordSize;
    uint32_t text_size = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const ShowPictureData& p = pictures[i];
        const std::string which = "picture " + std::to_string(i + 1);
        if (p.caption.size() > kShowMaxCaption)
            return "the caption of " + which + " is " + std::to_string(p.caption.size()) +
                   " UTF-16 units; at most " + std::to_string(kShowMaxCaption);
        if (p.width == 0 || p.height == 0 || p.width > kShowMaxSide || p.height > kShowMaxSide)
            return which + " is " + std::to_string(p.width) + "x" + std::to_string(p.height) +
                   "; each side must be 1 to " + std::to_string(kShowMaxSide) + " pixels";
        if (p.format < kShowBmp || p.format > kShowPng || p.bytes.empty())
            return which + " is empty or of an unknown kind";
        text_size += 2 * static_cast<uint32_t>(p.caption.size());
    }
    for (size_t i = 0; i < music.size(); ++i)
        if (music[i].format < kShowWav || music[i].format > kShowMidi || music[i].bytes.empty())
            return "music " + std::to_string(i + 1) + " is empty or of an unknown kind";
    const uint32_t index_size = table_end + text_size;
    // Every offset is 32 bits and MOVIE is one entry of at most 2 GiB - 1.
    uint64_t total = index_size;
    for (const ShowPictureData& p : pictures)
        total += p.bytes.size();
    for (const ShowMusicData& m : music)
        total += m.bytes.size();
    if (total > 0x7FFFFFFF)
        return "the show would be " + std::to_string(total) +
               " bytes; MOVIE holds at most 2 GiB - 1 (MaxSide= makes pictures smaller)";

    movie->assign(static_cast<size_t>(total), 0);
    std::vector<uint8_t>& m = *movie;
    Put32(&m, kShowOffMagic, kShowMagic);
    Put16(&m, kShowOffVersion, kShowVersion);
    Put16(&m, kShowOffHeaderSize, kShowHeaderSize);
    Put16(&m, kShowOffPictureCount, static_cast<uint32_t>(pictures.size()));
    Put16(&m, kShowOffMusicCount, static_cast<uint32_t>(music.size()));
    Put32(&m, kShowOffInterval, s.interval_ms);
    Put32(&m, kShowOffTransitionTime, s.transition_ms);
    Put32(&m, kShowOffBackground, s.background);
    m[kShowOffOrder] = s.order;
    m[kShowOffFit] = s.fit;
    m[kShowOffTransition] = s.transition;
    m[kShowOffFlags] = s.music && !music.empty() ? kShowFlagMusic : 0;
    Put32(&m, kShowOffTableOffset, kShowHeaderSize);
    Put32(&m, kShowOffTextOffset, table_end);
    Put32(&m, kShowOffTextSize, text_size);
    Put32(&m, kShowOffDataOffset, index_size);
    Put32(&m, kShowOffDataSize, static_cast<uint32_t>(total - index_size));

    uint32_t text_at = table_end, data_at = index_size;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const ShowPictureData& p = pictures[i];
        const size_t r = kShowHeaderSize + i * kShowPictureRecordSize;
        const uint32_t size = static_cast<uint32_t>(p.bytes.size());
        Put32(&m, r, data_at);
        Put32(&m, r + 4, size);
        Put16(&m, r + 8, p.width);
        Put16(&m, r + 10, p.height);
        m[r + 12] = p.format;
        Put16(&m, r + 14, static_cast<uint32_t>(p.caption.size()));
        Put32(&m, r + 16, p.caption.empty() ? 0 : text_at);
        for (uint16_t unit : p.caption) {
            Put16(&m, text_at, unit);
            text_at += 2;
        }
        std::copy(p.bytes.begin(), p.bytes.end(), m.begin() + data_at);
        data_at += size;
    }
    for (size_t i = 0; i < music.size(); ++i) {
        const size_t r =
            kShowHeaderSize + pictures.size() * kShowPictureRecordSize + i * kShowMusicRecordSize;
        const uint32_t size = static_cast<uint32_t>(music[i].bytes.size());
        Put32(&m, r, data_at);
        Put32(&m, r + 4, size);
        m[r + 8] = music[i].format;
        std::copy(music[i].bytes.begin(), music[i].bytes.end(), m.begin() + data_at);
        data_at += size;
    }
    return "";
}
