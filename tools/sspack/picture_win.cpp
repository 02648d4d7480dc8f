// Pictures in the Windows build of sspack, which has no picture library linked: shows and
// picture icons are built by the Linux sspack.
#include "tools/sspack/picture.h"

namespace {
const char kNeedsLinux[] = "MaxSide= and pictures as Icon= need the Linux sspack";
}

bool ReadPicture(const std::vector<uint8_t>&, PictureFacts*, std::string* problem) {
    *problem = "cannot be read here: the pictures of a show need the Linux sspack";
    return false;
}

bool CanMakePictures() {
    return false;
}

bool ScalePicture(const std::vector<uint8_t>&, uint32_t, std::vector<uint8_t>*, PictureFacts*,
                  std::string* problem) {
    *problem = kNeedsLinux;
    return false;
}

bool MakeIconFile(const std::vector<uint8_t>&, const std::vector<uint32_t>&, std::vector<uint8_t>*,
                  std::string* problem) {
    *problem = kNeedsLinux;
    return false;
}
