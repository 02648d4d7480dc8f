// Frames and the decoding of the show's pictures by the decoders Windows has.
#include <ocidl.h>
#include <olectl.h>
#include <wincodec.h>
#include <windows.h>

#include "saver/frame.h"
#include "saver/movie.h"
#include "saver/system.h"

// The identifiers, written out so that no import library of GUIDs is linked.
static const GUID kClsidImagingFactory = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
static const GUID kIidImagingFactory = {
    0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
static const GUID kFormat32Bgr = {
    0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};
static const GUID kFormat32Pbgra = {
    0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};
static const GUID kIidPicture = {
    0x7bf80980, 0xbf32, 0x101a, {0x8b, 0xbb, 0x00, 0xaa, 0x00, 0x30, 0x0c, 0xab}};

static IWICImagingFactory* Factory;  // the imaging component; null where it does not exist
static int ComStarted;               // 1 when CoInitialize succeeded and needs its CoUninitialize
static WCHAR CaptionText[kShowMaxCaption + 1];  // 256 bytes: a caption, aligned for the calls

int CreateFrame(Frame* frame, int32_t width, int32_t height) {
    *frame = Frame{};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    frame->bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    frame->dc = frame->bitmap ? CreateCompatibleDC(nullptr) : nullptr;
    if (!frame->dc) {
        FreeFrame(frame);
        return 0;
    }
    frame->old = SelectObject(frame->dc, frame->bitmap);
    frame->bits = static_cast<uint32_t*>(bits);
    frame->width = width;
    frame->height = height;
    return 1;
}

void FreeFrame(Frame* frame) {
    if (frame->dc) {
        SelectObject(frame->dc, frame->old);
        DeleteDC(frame->dc);
    }
    if (frame->bitmap) DeleteObject(frame->bitmap);
    *frame = Frame{};
}

void FillFrame(Frame* frame, uint32_t rgb) {
    const uint32_t count = static_cast<uint32_t>(frame->width) * frame->height;
    for (uint32_t i = 0; i < count; ++i)
        frame->bits[i] = rgb;
}

int StartDecoders() {
    ComStarted = SUCCEEDED(CoInitialize(nullptr));
    // Windows Vista and later, and earlier systems with the component installed.
    if (ComStarted &&
        FAILED(CoCreateInstance(kClsidImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                kIidImagingFactory, reinterpret_cast<void**>(&Factory))))
        Factory = nullptr;
    return ComStarted;
}

void StopDecoders() {
    if (Factory) Factory->Release();
    Factory = nullptr;
    if (ComStarted) CoUninitialize();
    ComStarted = 0;
}

// The visible part of the laid-out picture, copied from the scaled source as 32-bit pixels.
static int CopyScaled(IWICBitmapSource* scaled, const GUID& format, const PictureLayout& at,
                      Frame* frame) {
    IWICFormatConverter* converter = nullptr;
    if (FAILED(Factory->CreateFormatConverter(&converter))) return 0;
    int done = 0;
    if (SUCCEEDED(converter->Initialize(scaled, format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                        WICBitmapPaletteTypeCustom))) {
        const WICRect part = {at.x - at.place_x, at.y - at.place_y, at.w, at.h};
        const UINT stride = static_cast<UINT>(frame->width) * 4;
        const UINT bytes = stride * static_cast<UINT>(at.h - 1) + static_cast<UINT>(at.w) * 4;
        BYTE* first = reinterpret_cast<BYTE*>(frame->bits + at.y * frame->width + at.x);
        done = SUCCEEDED(converter->CopyPixels(&part, stride, bytes, first));
    }
    converter->Release();
    return done;
}

static int DecodeWithImaging(IStream* stream, uint8_t fit, Frame* frame) {
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* source = nullptr;
    IWICBitmapScaler* scaler = nullptr;
    int done = 0;
    UINT width = 0, height = 0;
    PictureLayout at;
    if (SUCCEEDED(Factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &source)) && SUCCEEDED(source->GetSize(&width, &height)) &&
        LayOutPicture(width, height, frame->width, frame->height, fit, &at) &&
        SUCCEEDED(Factory->CreateBitmapScaler(&scaler)) &&
        SUCCEEDED(scaler->Initialize(source, static_cast<UINT>(at.scaled_w),
                                     static_cast<UINT>(at.scaled_h),
                                     WICBitmapInterpolationModeFant))) {
        // Some converters refuse a format pair (1-bit palettes among them); the other 32-bit
        // format then often still works.
        done = CopyScaled(scaler, kFormat32Bgr, at, frame) ||
               CopyScaled(scaler, kFormat32Pbgra, at, frame);
    }
    if (scaler) scaler->Release();
    if (source) source->Release();
    if (decoder) decoder->Release();
    return done;
}

static void SetSmoothStretch(HDC dc) {
    // HALFTONE averages the pixels a reduction drops; Windows 9x knows only the plain modes.
    SetStretchBltMode(dc, IsWindows9x() ? COLORONCOLOR : HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
}

static int DecodeWithOle(IStream* stream, uint32_t size, uint8_t fit, Frame* frame) {
    IPicture* picture = nullptr;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, kIidPicture,
                              reinterpret_cast<void**>(&picture))))
        return 0;
    OLE_XSIZE_HIMETRIC hm_width = 0;
    OLE_YSIZE_HIMETRIC hm_height = 0;
    OLE_HANDLE handle = 0;
    SHORT type = 0;
    BITMAP shape = {};
    PictureLayout at;
    int done = 0;
    if (SUCCEEDED(picture->get_Width(&hm_width)) && SUCCEEDED(picture->get_Height(&hm_height)) &&
        SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
        SUCCEEDED(picture->get_Handle(&handle)) &&
        GetObjectA(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(handle)), sizeof shape,
                   &shape) &&
        LayOutPicture(static_cast<uint32_t>(shape.bmWidth), static_cast<uint32_t>(shape.bmHeight),
                      frame->width, frame->height, fit, &at)) {
        SetSmoothStretch(frame->dc);
        done = SUCCEEDED(picture->Render(frame->dc, at.place_x, at.place_y, at.scaled_w,
                                         at.scaled_h, 0, hm_height, hm_width, -hm_height, nullptr));
        GdiFlush();
    }
    picture->Release();
    return done;
}

static int DecodeBitmap(const uint8_t* bytes, uint32_t size, uint8_t fit, Frame* frame) {
    MovieView bitmap;
    PictureLayout at;
    if (!OpenMovie(bytes, size, &bitmap) ||
        !LayOutPicture(static_cast<uint32_t>(bitmap.width), static_cast<uint32_t>(bitmap.height),
                       frame->width, frame->height, fit, &at))
        return 0;
    SetSmoothStretch(frame->dc);
    const int lines =
        StretchDIBits(frame->dc, at.place_x, at.place_y, at.scaled_w, at.scaled_h, 0, 0,
                      bitmap.width, bitmap.height, bitmap.bits,
                      reinterpret_cast<const BITMAPINFO*>(bitmap.header), DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    return lines > 0;
}

int DecodePicture(HGLOBAL bytes, uint32_t size, uint8_t fit, uint32_t rgb, Frame* frame) {
    FillFrame(frame, rgb);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(bytes, TRUE, &stream))) {
        GlobalFree(bytes);
        return 0;
    }
    int done = Factory && DecodeWithImaging(stream, fit, frame);
    if (!done) {
        FillFrame(frame, rgb);  // a copy that failed half way may have left rows behind
        done = DecodeWithOle(stream, size, fit, frame);
    }
    if (!done) {
        const uint8_t* data = static_cast<const uint8_t*>(GlobalLock(bytes));
        done = data && DecodeBitmap(data, size, fit, frame);
        GlobalUnlock(bytes);
    }
    stream->Release();  // frees `bytes` too
    if (!done) FillFrame(frame, rgb);
    return done;
}

void DrawCaption(Frame* frame, const uint8_t* text, uint32_t length) {
    if (!text || length == 0) return;
    if (length > kShowMaxCaption) length = kShowMaxCaption;
    for (uint32_t i = 0; i < length; ++i)
        CaptionText[i] = static_cast<WCHAR>(text[2 * i] | text[2 * i + 1] << 8);
    int height = frame->height / 20;
    if (height < 11) height = 11;
    HFONT font = CreateFontA(-height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, 0, "Arial");
    if (!font) return;
    HGDIOBJ old = SelectObject(frame->dc, font);
    SetBkMode(frame->dc, TRANSPARENT);
    SetTextAlign(frame->dc, TA_CENTER | TA_BOTTOM);
    const int x = frame->width / 2, y = frame->height - height;
    // The outline: the text in black around its place, then in white on top.
    const int d = height / 12 + 1;
    SetTextColor(frame->dc, RGB(0, 0, 0));
    for (int dy = -d; dy <= d; dy += d)
        for (int dx = -d; dx <= d; dx += d)
            if (dx || dy)
                ExtTextOutW(frame->dc, x + dx, y + dy, 0, nullptr, CaptionText, length, nullptr);
    SetTextColor(frame->dc, RGB(255, 255, 255));
    ExtTextOutW(frame->dc, x, y, 0, nullptr, CaptionText, length, nullptr);
    GdiFlush();
    SelectObject(frame->dc, old);
    DeleteObject(font);
}
