// Writing MOVIE as a picture show (format/show.h) from pictures and music already read.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "format/show.h"

// The author's settings, as the show header keeps them.
struct ShowSettings {
    uint32_t interval_ms = 10000;
    uint32_t transition_ms = 1000;
    uint32_t background = 0;  // 0x00RRGGBB
    uint8_t order = kShowSequential;
    uint8_t fit = kShowFit;
    uint8_t transition = kShowFade;
    bool music = true;  // play the music when there is some
};

struct ShowPictureData {
    std::vector<uint8_t> bytes;  // the file as carried
    uint8_t format = 0;          // ShowPictureFormat
    uint32_t width = 0, height = 0;
    std::vector<uint16_t> caption;  // UTF-16 units; empty for none
};

struct ShowMusicData {
    std::vector<uint8_t> bytes;
    uint8_t format = 0;  // ShowMusicFormat
};

// Lays the show out into `movie`: header, records, captions, then the files back to back in the
// order given (pictures first). "" on success, else why it cannot be a show (one line).
std::string EncodeShow(const ShowSettings& settings, const std::vector<ShowPictureData>& pictures,
                       const std::vector<ShowMusicData>& music, std::vector<uint8_t>* movie);
