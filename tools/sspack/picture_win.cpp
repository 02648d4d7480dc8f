// Pictures in the Windows build of sspack, through the Windows Imaging Component: a show's
// pictures are read whole for their kind and size and carried unchanged. Scaling and icons made
// from pictures are left to the Linux sspack.
#include <wincodec.h>
#include <windows.h>

#include "format/show.h"
#include "tools/sspack/picture.h"

namespace {

const char kNeedsLinux[] = "MaxSide= and pictures as Icon= need the Linux sspack";

// Releases a COM interface when it goes out of scope.
template <typename T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p) p->Release();
    }
};

}  // namespace

bool ReadPicture(const std::vector<uint8_t>& bytes, PictureFacts* facts, std::string* problem) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) {
        *problem = bytes.empty() ? "is empty" : "is too large to read";
        return false;
    }
    static const HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    (void)started;
    Held<IWICImagingFactory> factory;
    Held<IWICStream> stream;
    Held<IWICBitmapDecoder> decoder;
    Held<IWICBitmapFrameDecode> frame;
    Held<IWICFormatConverter> converter;
    GUID container = {};
    UINT width = 0, height = 0;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory.p)))) {
        *problem = "cannot be read: the Windows Imaging Component is missing";
        return false;
    }
    if (FAILED(factory.p->CreateStream(&stream.p)) ||
        FAILED(stream.p->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                              static_cast<DWORD>(bytes.size()))) ||
        FAILED(factory.p->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                                  &decoder.p)) ||
        FAILED(decoder.p->GetContainerFormat(&container)) ||
        FAILED(decoder.p->GetFrame(0, &frame.p)) || FAILED(frame.p->GetSize(&width, &height)) ||
        width == 0 || height == 0) {
        *problem = "cannot be read as a picture";
        return false;
    }
    // Every pixel decoded, so that a damaged file is refused here rather than on the screen.
    std::vector<BYTE> row(static_cast<size_t>(width) * 4);
    if (FAILED(factory.p->CreateFormatConverter(&converter.p)) ||
        FAILED(converter.p->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA,
                                       WICBitmapDitherTypeNone, nullptr, 0,
                                       WICBitmapPaletteTypeCustom))) {
        *problem = "cannot be decoded";
        return false;
    }
    for (UINT y = 0; y < height; ++y) {
        const WICRect line = {0, static_cast<INT>(y), static_cast<INT>(width), 1};
        if (FAILED(converter.p->CopyPixels(&line, width * 4, static_cast<UINT>(row.size()),
                                           row.data()))) {
            *problem = "is damaged: it cannot be decoded whole";
            return false;
        }
    }
    facts->width = width;
    facts->height = height;
    facts->format = 0;
    facts->kind = "another kind of";
    if (container == GUID_ContainerFormatJpeg) facts->format = kShowJpeg, facts->kind = "JPEG";
    if (container == GUID_ContainerFormatGif) facts->format = kShowGif, facts->kind = "GIF";
    if (container == GUID_ContainerFormatBmp) facts->format = kShowBmp, facts->kind = "BMP";
    if (container == GUID_ContainerFormatPng) facts->format = kShowPng, facts->kind = "PNG";
    if (container == GUID_ContainerFormatTiff) facts->kind = "TIFF";
    if (container == GUID_ContainerFormatIco) facts->kind = "ICO";
    return true;
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
