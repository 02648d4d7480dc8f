// Describing a built show in the manifest's words.
#include "tools/sspack/show_info.h"

#include <cstdio>

#include "archive/extract.h"
#include "archive/reader.h"

#include "tools/sspack/manifest.h"
#include "tools/sspack/stub_face.h"
#include "tools/sspack/text_util.h"

namespace {

const char* PictureKind(uint8_t format) {
    switch (format) {
        case kShowBmp:
            return "BMP";
        case kShowJpeg:
            return "JPEG";
        case kShowGif:
            return "GIF";
        case kShowPng:
            return "PNG";
    }
    return "?";
}

const char* MusicKind(uint8_t format) {
    switch (format) {
        case kShowWav:
            return "WAV";
        case kShowMp3:
            return "MP3";
        case kShowMidi:
            return "MIDI";
    }
    return "?";
}

const char* Extension(bool picture, uint8_t format) {
    if (picture)
        return format == kShowJpeg  ? "jpg"
               : format == kShowGif ? "gif"
               : format == kShowPng ? "png"
                                    : "bmp";
    return format == kShowMp3 ? "mp3" : format == kShowMidi ? "mid" : "wav";
}

// A caption as a manifest value: quoted when spaces at its ends would otherwise be trimmed.
std::string CaptionValue(const ShowPicture& p) {
    const std::string text = Utf8Of(p.caption, p.caption_length);
    const bool quote =
        !text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '"');
    return quote ? "\"" + text + "\"" : text;
}

}  // namespace

bool ParseShowBytes(const std::vector<uint8_t>& movie, ShowView* view) {
    view->valid = 0;
    if (movie.size() < kShowHeaderSize || movie.size() > 0xFFFFFFFFu) return false;
    const uint32_t size = static_cast<uint32_t>(movie.size());
    const uint32_t index = ShowIndexSize(movie.data(), kShowHeaderSize, size);
    return index != 0 && ParseShow(movie.data(), index, size, view) == 1;
}

bool ReadShowEntry(std::vector<uint8_t>* movie, ShowView* view) {
    view->valid = 0;
    const int32_t size = GetOriginalSize("MOVIE");
    if (size < static_cast<int32_t>(kShowHeaderSize)) return false;
    movie->assign(static_cast<size_t>(size), 0);
    return ReadEntryToMemory("MOVIE", movie->data(), static_cast<uint32_t>(size)) &&
           IsShow(movie->data(), static_cast<uint32_t>(size)) && ParseShowBytes(*movie, view);
}

std::string ShowPartFile(bool picture, uint32_t index, uint8_t format) {
    char name[40];
    std::snprintf(name, sizeof name, picture ? "MOVIE-picture-%03u.%s" : "MOVIE-music-%02u.%s",
                  index + 1, Extension(picture, format));
    return name;
}

std::vector<std::string> ShowSectionLines(const std::vector<uint8_t>&, const ShowView& v,
                                          bool files) {
    std::vector<std::string> lines = {"[Show]"};
    for (uint32_t i = 0; i < v.picture_count; ++i) {
        ShowPicture p;
        ShowPictureAt(&v, i, &p);
        char text[96];
        std::snprintf(text, sizeof text, "; picture %u: %s, %ux%u, %s", i + 1,
                      PictureKind(p.format), p.width, p.height, SizeText(p.size).c_str());
        lines.push_back(text);
        if (files) lines.push_back("Picture=" + ShowPartFile(true, i, p.format));
        if (p.caption_length)
            lines.push_back((files ? "" : "; ") + std::string("Caption.") + std::to_string(i + 1) +
                            "=" + CaptionValue(p));
    }
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%06X", v.background);
    lines.push_back("Interval=" + SecondsText(v.interval_ms));
    lines.push_back("Order=" + ShowOrderWord(v.order));
    lines.push_back("Fit=" + ShowFitWord(v.fit));
    lines.push_back("Transition=" + ShowTransitionWord(v.transition));
    lines.push_back("TransitionTime=" + SecondsText(v.transition_ms));
    lines.push_back(std::string("Background=") + colour);
    for (uint32_t i = 0; i < v.music_count; ++i) {
        ShowMusic m;
        ShowMusicAt(&v, i, &m);
        lines.push_back("; music " + std::to_string(i + 1) + ": " + MusicKind(m.format) + ", " +
                        SizeText(m.size) + (v.flags & kShowFlagMusic ? "" : " (not played)"));
        if (files) lines.push_back("Music=" + ShowPartFile(false, i, m.format));
    }
    return lines;
}

std::vector<std::string> ShowPartLines(const ShowView& v) {
    std::vector<std::string> lines;
    char text[160];
    for (uint32_t i = 0; i < v.picture_count; ++i) {
        ShowPicture p;
        ShowPictureAt(&v, i, &p);
        std::snprintf(text, sizeof text, "  picture %-4u  %-4s  %5ux%-5u  %10s  %s", i + 1,
                      PictureKind(p.format), p.width, p.height, SizeText(p.size).c_str(),
                      Utf8Of(p.caption, p.caption_length).c_str());
        lines.push_back(text);
    }
    for (uint32_t i = 0; i < v.music_count; ++i) {
        ShowMusic m;
        ShowMusicAt(&v, i, &m);
        std::snprintf(text, sizeof text, "  music %-6u  %-4s  %11s  %10s", i + 1,
                      MusicKind(m.format), "", SizeText(m.size).c_str());
        lines.push_back(text);
    }
    return lines;
}
