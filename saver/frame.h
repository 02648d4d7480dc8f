// Frames: screen-sized 32-bit top-down DIB sections with a memory DC of their own, and the one
// function that decodes any picture of the show into one.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "saver/show_plan.h"

struct Frame {
    HDC dc;          // a memory DC with `bitmap` selected; null when the frame is not made
    HBITMAP bitmap;  // the DIB section
    HGDIOBJ old;     // what `dc` held before
    uint32_t* bits;  // width * height pixels 0x00RRGGBB, top row first
    int32_t width, height;
};

int CreateFrame(Frame* frame, int32_t width, int32_t height);
void FreeFrame(Frame* frame);
void FillFrame(Frame* frame, uint32_t rgb);

// Starts COM for the decoders of this thread; 1 when it may be used.
int StartDecoders();
void StopDecoders();

// Decodes the picture `bytes` (a movable global block of `size` bytes, which it frees) laid out
// by `fit` into `frame`, over the background `rgb`. The system's imaging component where it
// exists, else the OLE picture loader, else the saver's own bitmap reader. 1, or 0 when none of
// them could read it (the frame then shows the background).
int DecodePicture(HGLOBAL bytes, uint32_t size, uint8_t fit, uint32_t rgb, Frame* frame);

// Draws a caption of `length` UTF-16 units (unaligned little-endian bytes) at the bottom of the
// frame, white in a dark outline, so that it reads on any picture.
void DrawCaption(Frame* frame, const uint8_t* text, uint32_t length);
