// The pictures sspack reads: the kind and size of a show's picture, a smaller copy of a large
// one, and the installer's icon images made from any picture. One narrow interface over the
// picture library of the system sspack is built for (picture_gm.cpp on Linux, picture_win.cpp on
// Windows); sspack never decodes a picture format itself.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct PictureFacts {
    uint8_t format = 0;  // ShowPictureFormat; 0 for a kind the screen saver cannot show
    std::string kind;    // the library's name for the kind ("JPEG", "TIFF")
    uint32_t width = 0, height = 0;
};

// Reads the whole picture in `bytes`. False with `problem` (one line, without the file name)
// when it cannot be read or is damaged.
bool ReadPicture(const std::vector<uint8_t>& bytes, PictureFacts* facts, std::string* problem);

// Whether this build can scale pictures and make icons (ScalePicture, MakeIconFile).
bool CanMakePictures();

// A copy of the picture whose longer side is `max_side` (aspect kept), in the same kind; the
// picture itself when it is no larger. `facts` receives the copy's.
bool ScalePicture(const std::vector<uint8_t>& bytes, uint32_t max_side,
                  std::vector<uint8_t>* scaled, PictureFacts* facts, std::string* problem);

// An .ico file with one 256-colour image per side in `sides` (square, the picture fitted and
// centred, transparent around it), each in the uncompressed form Windows keeps icon images in.
bool MakeIconFile(const std::vector<uint8_t>& bytes, const std::vector<uint32_t>& sides,
                  std::vector<uint8_t>* ico, std::string* problem);
