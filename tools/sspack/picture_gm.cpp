// Pictures through GraphicsMagick's C interface: reading, scaling and 256-colour icon images.
#include <dlfcn.h>
#include <magick/api.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "format/show.h"
#include "tools/sspack/pe_image.h"
#include "tools/sspack/picture.h"

namespace {

// The library's calls, found in it when the first picture is read.
// clang-format off
#define SS_MAGICK_CALLS(X)                                                                  \
    X(InitializeMagick) X(DestroyMagick) X(GetExceptionInfo) X(DestroyExceptionInfo)         \
    X(CloneImageInfo) X(DestroyImageInfo) X(BlobToImage) X(ImageToBlob) X(DestroyImageList) \
    X(DispatchImage) X(ConstituteImage) X(ResizeImage) X(GetQuantizeInfo) X(QuantizeImage)  \
    X(MagickFree)
// clang-format on

struct Magick {
#define SS_MAGICK_POINTER(name) decltype(&::name) name = nullptr;
    SS_MAGICK_CALLS(SS_MAGICK_POINTER)
#undef SS_MAGICK_POINTER
    std::string problem;  // why the library could not be loaded; empty when it was
};

const Magick& Library() {
    static const Magick magick = [] {
        Magick m;
        void* handle = dlopen(SS_MAGICK_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            m.problem = std::string("cannot be read: the picture library is missing (") +
                        (why ? why : SS_MAGICK_SONAME) + ")";
            return m;
        }
#define SS_MAGICK_FIND(name)                                              \
    m.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));   \
    if (!m.name) {                                                        \
        m.problem = "cannot be read: " SS_MAGICK_SONAME " has no " #name; \
        return m;                                                         \
    }
        SS_MAGICK_CALLS(SS_MAGICK_FIND)
#undef SS_MAGICK_FIND
        m.InitializeMagick(nullptr);
        std::atexit(m.DestroyMagick);  // the library's caches are freed, not left to the system
        return m;
    }();
    return magick;
}

// One read picture (the first frame of an animation), freed with it.
struct Picture {
    Image* image = nullptr;
    ~Picture() {
        if (image) Library().DestroyImageList(image);
    }
};

std::string Reason(const ExceptionInfo& e) {
    std::string text = e.reason ? e.reason : "the picture library cannot read it";
    if (e.description && *e.description) text += std::string(" (") + e.description + ")";
    return text;
}

bool Read(const std::vector<uint8_t>& bytes, Picture* picture, std::string* problem) {
    const Magick& gm = Library();
    if (!gm.problem.empty()) {
        *problem = gm.problem;
        return false;
    }
    if (bytes.empty()) {
        *problem = "is empty";
        return false;
    }
    ExceptionInfo exception;
    Library().GetExceptionInfo(&exception);
    ImageInfo* info = Library().CloneImageInfo(nullptr);
    // An icon file has no signature the library recognises; its header names it.
    if (bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0)
        std::strcpy(info->filename, "ICO:");
    picture->image = Library().BlobToImage(info, bytes.data(), bytes.size(), &exception);
    Library().DestroyImageInfo(info);
    // A warning about damaged data means the picture is cut or corrupt: Windows would show it
    // partly or not at all.
    const bool damaged =
        exception.severity >= CorruptImageWarning && exception.severity < ErrorException;
    bool ok = picture->image && picture->image->columns && picture->image->rows &&
              exception.severity < ErrorException && !damaged;
    if (!ok)
        *problem = (damaged ? "is damaged: " : "cannot be read as a picture: ") + Reason(exception);
    Library().DestroyExceptionInfo(&exception);
    return ok;
}

uint8_t FormatOf(const std::string& magick) {
    if (magick == "JPEG") return kShowJpeg;
    if (magick == "GIF" || magick == "GIF87") return kShowGif;
    if (magick == "BMP" || magick == "BMP2" || magick == "BMP3") return kShowBmp;
    if (magick == "PNG" || magick == "PNG8" || magick == "PNG24" || magick == "PNG32")
        return kShowPng;
    return 0;
}

void Describe(const Image* image, PictureFacts* facts) {
    facts->kind = image->magick;
    facts->format = FormatOf(facts->kind);
    facts->width = static_cast<uint32_t>(image->columns);
    facts->height = static_cast<uint32_t>(image->rows);
}

// The picture's pixels as 8-bit RGBA, row by row from the top.
bool Pixels(Image* image, std::vector<uint8_t>* rgba, std::string* problem) {
    rgba->assign(image->columns * image->rows * 4, 0);
    ExceptionInfo exception;
    Library().GetExceptionInfo(&exception);
    const bool ok = Library().DispatchImage(image, 0, 0, image->columns, image->rows, "RGBA",
                                            CharPixel, rgba->data(), &exception) == MagickPass;
    if (!ok) *problem = "cannot be converted: " + Reason(exception);
    Library().DestroyExceptionInfo(&exception);
    return ok;
}

// `image` scaled by `scale` (at least one pixel a side) into `small`; null there on failure,
// with the library's reason in `exception`.
void Scaled(Image* image, double scale, Picture* small, ExceptionInfo* exception) {
    const unsigned long w = std::max(1ul, static_cast<unsigned long>(image->columns * scale + 0.5));
    const unsigned long h = std::max(1ul, static_cast<unsigned long>(image->rows * scale + 0.5));
    small->image = Library().ResizeImage(image, w, h, LanczosFilter, 1.0, exception);
}

// The picture fitted into `side` x `side`, centred, transparent around it.
bool Fitted(Image* image, uint32_t side, std::vector<uint8_t>* canvas, std::string* problem) {
    const double scale = std::min(static_cast<double>(side) / image->columns,
                                  static_cast<double>(side) / image->rows);
    ExceptionInfo exception;
    Library().GetExceptionInfo(&exception);
    Picture small;
    Scaled(image, scale, &small, &exception);
    if (!small.image) *problem = "cannot be scaled: " + Reason(exception);
    Library().DestroyExceptionInfo(&exception);
    const unsigned long w = small.image ? small.image->columns : 0;
    const unsigned long h = small.image ? small.image->rows : 0;
    std::vector<uint8_t> rgba;
    if (!small.image || !Pixels(small.image, &rgba, problem)) return false;
    canvas->assign(side * side * 4, 0);
    const uint32_t left = (side - w) / 2, top = (side - h) / 2;
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(&(*canvas)[((top + y) * side + left) * 4], &rgba[y * w * 4], w * 4);
    return true;
}

// One icon image: BITMAPINFOHEADER (height doubled for the mask), 256 palette entries, the
// colour indexes bottom-up, then the mask (1: transparent) bottom-up, rows padded to 4 bytes.
// Transparent pixels are black, as Windows draws the colour over the screen with XOR there.
bool IconImage(Image* image, uint32_t side, std::vector<uint8_t>* dib, std::string* problem) {
    std::vector<uint8_t> canvas;
    if (!Fitted(image, side, &canvas, problem)) return false;
    std::vector<uint8_t> rgb(side * side * 3);
    std::vector<bool> clear(side * side);
    for (uint32_t i = 0; i < side * side; ++i) {
        clear[i] = canvas[i * 4 + 3] < 128;
        for (int c = 0; c < 3; ++c)
            rgb[i * 3 + c] = clear[i] ? 0 : canvas[i * 4 + c];
    }
    ExceptionInfo exception;
    Library().GetExceptionInfo(&exception);
    Picture flat;
    flat.image = Library().ConstituteImage(side, side, "RGB", CharPixel, rgb.data(), &exception);
    Library().DestroyExceptionInfo(&exception);
    QuantizeInfo quantize;
    Library().GetQuantizeInfo(&quantize);
    quantize.number_colors = 256;
    quantize.dither = 0;
    if (!flat.image || Library().QuantizeImage(&quantize, flat.image) != MagickPass ||
        Library().DispatchImage(flat.image, 0, 0, side, side, "RGB", CharPixel, rgb.data(),
                                &exception) != MagickPass) {
        *problem = "cannot be reduced to 256 colours";
        return false;
    }
    std::map<uint32_t, uint8_t> palette;
    std::vector<uint8_t> index(side * side);
    for (uint32_t i = 0; i < side * side; ++i) {
        const uint32_t colour = rgb[i * 3] << 16 | rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2];
        auto found = palette.find(colour);
        if (found == palette.end()) {
            if (palette.size() == 256) {
                *problem = "has more than 256 colours after reduction";
                return false;
            }
            found = palette.emplace(colour, static_cast<uint8_t>(palette.size())).first;
        }
        index[i] = found->second;
    }
    const uint32_t mask_row = (side + 31) / 32 * 4;
    const uint32_t pixel_row = (side + 3) / 4 * 4;
    dib->assign(40 + 1024 + (pixel_row + mask_row) * side, 0);
    Put32(dib, 0, 40);
    Put32(dib, 4, side);
    Put32(dib, 8, 2 * side);
    Put16(dib, 12, 1);
    Put16(dib, 14, 8);
    for (const auto& entry : palette) {
        const size_t at = 40 + 4 * entry.second;
        (*dib)[at] = static_cast<uint8_t>(entry.first);            // blue
        (*dib)[at + 1] = static_cast<uint8_t>(entry.first >> 8);   // green
        (*dib)[at + 2] = static_cast<uint8_t>(entry.first >> 16);  // red
    }
    const size_t pixels = 40 + 1024, mask = pixels + pixel_row * side;
    for (uint32_t y = 0; y < side; ++y) {
        const uint32_t row = side - 1 - y;  // bottom-up
        for (uint32_t x = 0; x < side; ++x) {
            (*dib)[pixels + row * pixel_row + x] = index[y * side + x];
            if (clear[y * side + x]) (*dib)[mask + row * mask_row + x / 8] |= 0x80 >> (x % 8);
        }
    }
    return true;
}

// The frame with the most pixels: an .ico holds several sizes, the largest draws best.
Image* Largest(Image* list) {
    Image* best = list;
    for (Image* i = list; i; i = i->next)
        if (i->columns * i->rows > best->columns * best->rows) best = i;
    return best;
}

}  // namespace

bool ReadPicture(const std::vector<uint8_t>& bytes, PictureFacts* facts, std::string* problem) {
    Picture picture;
    if (!Read(bytes, &picture, problem)) return false;
    Describe(picture.image, facts);
    return true;
}

bool CanMakePictures() {
    return true;
}

bool ScalePicture(const std::vector<uint8_t>& bytes, uint32_t max_side,
                  std::vector<uint8_t>* scaled, PictureFacts* facts, std::string* problem) {
    Picture picture;
    if (!Read(bytes, &picture, problem)) return false;
    Image* image = picture.image;
    Describe(image, facts);
    const uint32_t longer = std::max(facts->width, facts->height);
    if (longer <= max_side) {
        *scaled = bytes;
        return true;
    }
    ExceptionInfo exception;
    Library().GetExceptionInfo(&exception);
    Picture small;
    Scaled(image, static_cast<double>(max_side) / longer, &small, &exception);
    ImageInfo* info = Library().CloneImageInfo(nullptr);
    info->quality = 90;
    size_t length = 0;
    void* blob = nullptr;
    if (small.image) {
        // The format's name, ended within its field, written as the picture was read.
        static_assert(sizeof small.image->magick == sizeof image->magick &&
                          sizeof info->magick == sizeof image->magick,
                      "one size for every format name field");
        std::memcpy(small.image->magick, image->magick, sizeof image->magick);
        std::memcpy(info->magick, image->magick, sizeof image->magick);
        small.image->magick[sizeof image->magick - 1] = info->magick[sizeof image->magick - 1] = 0;
        blob = Library().ImageToBlob(info, small.image, &length, &exception);
    }
    Library().DestroyImageInfo(info);
    if (!blob) *problem = "cannot be scaled down: " + Reason(exception);
    Library().DestroyExceptionInfo(&exception);
    if (!blob) return false;
    scaled->assign(static_cast<uint8_t*>(blob), static_cast<uint8_t*>(blob) + length);
    Library().MagickFree(blob);
    // What was written is what the installer carries: read it back for its facts.
    return ReadPicture(*scaled, facts, problem);
}

bool MakeIconFile(const std::vector<uint8_t>& bytes, const std::vector<uint32_t>& sides,
                  std::vector<uint8_t>* ico, std::string* problem) {
    Picture picture;
    if (!Read(bytes, &picture, problem)) return false;
    Image* image = Largest(picture.image);
    std::vector<std::vector<uint8_t>> images(sides.size());
    for (size_t i = 0; i < sides.size(); ++i)
        if (sides[i] == 0 || sides[i] > 256 || !IconImage(image, sides[i], &images[i], problem))
            return false;
    ico->assign(6 + 16 * sides.size(), 0);
    Put16(ico, 2, 1);
    Put16(ico, 4, static_cast<uint32_t>(sides.size()));
    for (size_t i = 0; i < sides.size(); ++i) {
        const size_t e = 6 + 16 * i;
        (*ico)[e] = static_cast<uint8_t>(sides[i]);  // 256 is written as 0
        (*ico)[e + 1] = static_cast<uint8_t>(sides[i]);
        Put16(ico, e + 4, 1);
        Put16(ico, e + 6, 8);
        Put32(ico, e + 8, static_cast<uint32_t>(images[i].size()));
        Put32(ico, e + 12, static_cast<uint32_t>(ico->size()));
        ico->insert(ico->end(), images[i].begin(), images[i].end());
    }
    return true;
}
