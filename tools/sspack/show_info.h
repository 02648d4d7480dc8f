// A built show read back for `sspack info`, `list` and `extract`: its [Show] section and the
// files its pictures and music are extracted to.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "format/show.h"

// Checks the bytes of MOVIE as the screen saver does; false when they are not a show.
bool ParseShowBytes(const std::vector<uint8_t>& movie, ShowView* view);

// MOVIE of the open archive reader when it is a show (the error latch may be left set).
bool ReadShowEntry(std::vector<uint8_t>* movie, ShowView* view);

// The file that picture or music `index` (0-based) is extracted to: "MOVIE-picture-001.jpg",
// "MOVIE-music-01.wav".
std::string ShowPartFile(bool picture, uint32_t index, uint8_t format);

// The [Show] section of the show, header included. With `files`, Picture= and Music= name the
// extracted parts, so that the section builds the same MOVIE again; otherwise a comment line
// describes each picture and piece of music.
std::vector<std::string> ShowSectionLines(const std::vector<uint8_t>& movie, const ShowView& view,
                                          bool files);

// One line per picture and piece of music ("picture 1  JPEG  640x400  10.4 KiB  Dawn"), for list.
std::vector<std::string> ShowPartLines(const ShowView& view);
