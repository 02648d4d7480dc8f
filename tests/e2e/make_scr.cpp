// Makes a screen saver file as the installer leaves it, without the installer: the saver
// program written plain at offset 0, then MOVIE stored plain (the installer expands it into the
// file) and INFO compressed, in one payload archive written by the project's writer. Used by
// the end-to-end test of the saver under Wine.
//
//   ss_make_scr OUT.scr SAVER.scr MOVIE.bmp NAME
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/settings.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool Add(const std::vector<uint8_t>& bytes, const char* name, TransferFlags flags) {
    return AddEntryFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), name, flags) == 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ss_make_scr OUT.scr SAVER.scr MOVIE.bmp NAME\n");
        return 1;
    }
    std::vector<uint8_t> saver, movie, info(kInfoSize, 0);
    if (!ReadFile(argv[2], &saver) || !ReadFile(argv[3], &movie)) {
        std::fprintf(stderr, "ss_make_scr: cannot read %s or %s\n", argv[2], argv[3]);
        return 1;
    }
    const size_t name_length = std::strlen(argv[4]);
    if (name_length == 0 || name_length > kMaxNameLength) {
        std::fprintf(stderr, "ss_make_scr: the name must have 1 to %u characters\n",
                     kMaxNameLength);
        return 1;
    }
    std::memcpy(&info[kInfoName], argv[4], name_length);
    SetStickyErrorMode(1);
    const FileHandle out = CreateArchive(argv[1]);
    const bool ok = out != kInvalidFile && Add(saver, "SAVER", 0) && Add(movie, "MOVIE", 0) &&
                    Add(info, "INFO", Compress);
    CloseArchive(out);
    if (!ok || StickyError.latched) {
        std::fprintf(stderr, "ss_make_scr: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 2;
    }
    return 0;
}
