// The picture show's arithmetic, kept apart from the drawing so that the host tests run it:
// where a picture lands on a screen, how far a transition has come, which picture comes next,
// the settings the person at the screen may change, and the cross-fade of two frames.
// This file is plain C++ without any operating-system header.
#pragma once

#include <stdint.h>

#include "format/show.h"

// Where a picture of its own size lands in an area of area_w x area_h pixels: the picture is
// scaled to scaled_w x scaled_h, placed with its top left corner at (place_x, place_y) (may be
// negative when it is cropped), and what shows of it is the rectangle (x, y, w, h) of the area.
// The rest of the area is background.
struct PictureLayout {
    int32_t scaled_w, scaled_h;
    int32_t place_x, place_y;
    int32_t x, y, w, h;
};

// Lays a picture of `width` x `height` out in the area by `fit` (ShowFit). Returns 0 (layout
// empty) for a side of 0 or below; a picture is always at least one pixel each way.
int LayOutPicture(uint32_t width, uint32_t height, int32_t area_w, int32_t area_h, uint8_t fit,
                  PictureLayout* layout);

// One frame of a transition from the old picture to the new one over an area `width` wide.
struct TransitionStep {
    int done;        // 1 when the new picture stands alone
    uint32_t alpha;  // fade: weight of the new picture, 0..256
    int32_t split;   // wipe: columns of the new picture from the left; slide: how far the old
                     // picture has moved out to the left (the new one follows it)
};

// The step `elapsed_ms` into a transition of `duration_ms`. A cut, or a duration of 0, is done at
// once; past the duration every transition is done.
TransitionStep StepTransition(uint8_t transition, uint32_t elapsed_ms, uint32_t duration_ms,
                              int32_t width);

// The picture after `current` of `count`: the next one in order, or for random order one chosen
// by `*seed` (which it moves on) that is never the current one when there are two or more.
uint32_t NextPicture(uint8_t order, uint32_t count, uint32_t current, uint32_t* seed);

// What the person at the screen may set; the author's values are the starting point.
struct ShowSettings {
    uint32_t interval_ms;    // kShowMinIntervalMs..kShowMaxIntervalMs
    uint32_t transition_ms;  // below interval_ms
    uint8_t order, fit, transition;
    uint8_t music;  // 1: play the show's music (only when it has some)
};

ShowSettings SettingsOfShow(const ShowView* show);

// Stored values as read back (per user): -1 for a value that is not stored. A value out of its
// range is ignored and the author's stays; the transition is shortened to stay below a shorter
// interval. The interval is kept in whole seconds.
struct StoredSettings {
    int64_t interval_s, order, fit, transition, music;
};
void ApplyStoredSettings(const StoredSettings* stored, ShowSettings* settings);

// Blends `count` pixels of 0x00RRGGBB: out = (old * (256 - alpha) + new * alpha) / 256 per
// channel, alpha 0..256. `out` may be either input.
void BlendPixels(uint32_t* out, const uint32_t* old_pixels, const uint32_t* new_pixels,
                 uint32_t count, uint32_t alpha);
