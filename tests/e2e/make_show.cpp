// Makes a picture show (a MOVIE) for the saver's tests under Wine, without sspack:
//
//   ss_make_show OUT [--interval MS] [--transition-time MS] [--order N] [--fit N]
//                [--transition N] [--background RRGGBB] [--music FILE]... FILE@WxH[=CAPTION]...
//
// The numbers are the show's own (format/show.h); the format of a file follows its extension.
// Captions are ASCII.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/e2e/show_builder.h"

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !bytes->empty();
}

uint8_t FormatOf(const std::string& path) {
    const std::string ext = path.substr(path.find_last_of('.') + 1);
    if (ext == "bmp") return kShowBmp;
    if (ext == "jpg" || ext == "jpeg") return kShowJpeg;
    if (ext == "gif") return kShowGif;
    if (ext == "png") return kShowPng;
    if (ext == "wav") return kShowWav;
    if (ext == "mp3") return kShowMp3;
    if (ext == "mid") return kShowMidi;
    return 0;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "ss_make_show: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Fail("usage: ss_make_show OUT [options] FILE@WxH[=CAPTION]...");
    ShowBuilder show;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg.rfind("--", 0) == 0 && !has_value) return Fail(arg + " needs a value");
        const unsigned long value = has_value ? std::strtoul(argv[i + 1], nullptr, 0) : 0;
        if (arg == "--interval") {
            show.interval_ms = uint32_t(value), ++i;
        } else if (arg == "--transition-time") {
            show.transition_ms = uint32_t(value), ++i;
        } else if (arg == "--order") {
            show.order = uint8_t(value), ++i;
        } else if (arg == "--fit") {
            show.fit = uint8_t(value), ++i;
        } else if (arg == "--transition") {
            show.transition = uint8_t(value), ++i;
        } else if (arg == "--background") {
            show.background = uint32_t(std::strtoul(argv[++i], nullptr, 16));
        } else if (arg == "--music") {
            ShowBuilderMusic music;
            music.format = FormatOf(argv[++i]);
            if (!music.format || !ReadFile(argv[i], &music.bytes))
                return Fail(std::string("cannot use the music ") + argv[i]);
            show.music.push_back(music);
            show.flags |= kShowFlagMusic;
        } else {
            const size_t at = arg.find('@'), x = arg.find('x', at), eq = arg.find('=', at);
            if (at == std::string::npos || x == std::string::npos)
                return Fail("a picture is FILE@WxH[=CAPTION]: " + arg);
            ShowBuilderPicture picture;
            const std::string path = arg.substr(0, at);
            picture.format = FormatOf(path);
            picture.width = uint16_t(std::atoi(arg.c_str() + at + 1));
            picture.height = uint16_t(std::atoi(arg.c_str() + x + 1));
            if (eq != std::string::npos)
                for (char c : arg.substr(eq + 1))
                    picture.caption.push_back(char16_t(uint8_t(c)));
            if (!picture.format || !ReadFile(path, &picture.bytes))
                return Fail("cannot use the picture " + path);
            show.pictures.push_back(picture);
        }
    }
    const std::vector<uint8_t> movie = show.Build();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(movie.data()), std::streamsize(movie.size()));
    return out ? 0 : Fail(std::string("cannot write ") + argv[1]);
}
