// The picture show's arithmetic. See show_plan.h.
#include "saver/show_plan.h"

// A scaled side stays far below what the 32-bit placement sums could overflow.
constexpr int64_t kMaxScaledSide = int64_t{1} << 24;

static int32_t ClampSide(int64_t side) {
    if (side < 1) return 1;
    return static_cast<int32_t>(side > kMaxScaledSide ? kMaxScaledSide : side);
}

// `value * numerator / denominator`, rounded to the nearest.
static int64_t Scale(int64_t value, int64_t numerator, int64_t denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

int LayOutPicture(uint32_t width, uint32_t height, int32_t area_w, int32_t area_h, uint8_t fit,
                  PictureLayout* layout) {
    *layout = PictureLayout{};
    if (width == 0 || height == 0 || area_w <= 0 || area_h <= 0) return 0;
    const int64_t pw = width, ph = height, aw = area_w, ah = area_h;
    // The picture is relatively wider than the area when pw / ph > aw / ah.
    const bool wider = pw * ah > ph * aw;
    int64_t sw = pw, sh = ph;
    switch (fit) {
        case kShowFit:  // the whole picture: the longer side, relative to the area, fills it
            sw = wider ? aw : Scale(pw, ah, ph);
            sh = wider ? Scale(ph, aw, pw) : ah;
            break;
        case kShowFill:  // the whole area: the shorter side fills it, the other is cropped
            sw = wider ? Scale(pw, ah, ph) : aw;
            sh = wider ? ah : Scale(ph, aw, pw);
            break;
        case kShowStretch:
            sw = aw;
            sh = ah;
            break;
        default:  // center: the picture's own size, cropped when larger
            break;
    }
    layout->scaled_w = ClampSide(sw);
    layout->scaled_h = ClampSide(sh);
    layout->place_x = static_cast<int32_t>((aw - layout->scaled_w) / 2);
    layout->place_y = static_cast<int32_t>((ah - layout->scaled_h) / 2);
    layout->x = layout->place_x > 0 ? layout->place_x : 0;
    layout->y = layout->place_y > 0 ? layout->place_y : 0;
    layout->w = (layout->scaled_w < area_w ? layout->scaled_w : area_w);
    layout->h = (layout->scaled_h < area_h ? layout->scaled_h : area_h);
    return 1;
}

TransitionStep StepTransition(uint8_t transition, uint32_t elapsed_ms, uint32_t duration_ms,
                              int32_t width) {
    TransitionStep step = {1, 256, width > 0 ? width : 0};
    if (transition == kShowCut || duration_ms == 0 || elapsed_ms >= duration_ms) return step;
    step.done = 0;
    step.alpha = static_cast<uint32_t>(uint64_t{elapsed_ms} * 256 / duration_ms);
    step.split = static_cast<int32_t>(int64_t{elapsed_ms} * step.split / duration_ms);
    return step;
}

uint32_t NextPicture(uint8_t order, uint32_t count, uint32_t current, uint32_t* seed) {
    if (count < 2) return 0;
    if (order != kShowRandom) return current + 1 < count ? current + 1 : 0;
    // xorshift32: cheap, and good enough to shuffle pictures; a zero seed would stay zero.
    uint32_t x = *seed ? *seed : 0x9E3779B9u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *seed = x;
    // One of the other count - 1 pictures, each as likely.
    const uint32_t pick = x % (count - 1);
    return pick >= current ? pick + 1 : pick;
}

ShowSettings SettingsOfShow(const ShowView* show) {
    ShowSettings settings = {};
    settings.interval_ms = show->interval_ms;
    settings.transition_ms = show->transition_ms;
    settings.order = show->order;
    settings.fit = show->fit;
    settings.transition = show->transition;
    settings.music = (show->flags & kShowFlagMusic) && show->music_count > 0;
    return settings;
}

static int InRange(int64_t value, int64_t low, int64_t high) {
    return value >= low && value <= high;
}

void ApplyStoredSettings(const StoredSettings* stored, ShowSettings* settings) {
    if (InRange(stored->interval_s, kShowMinIntervalMs / 1000, kShowMaxIntervalMs / 1000))
        settings->interval_ms = static_cast<uint32_t>(stored->interval_s) * 1000;
    if (InRange(stored->order, kShowSequential, kShowRandom))
        settings->order = static_cast<uint8_t>(stored->order);
    if (InRange(stored->fit, kShowFit, kShowCenter))
        settings->fit = static_cast<uint8_t>(stored->fit);
    if (InRange(stored->transition, kShowCut, kShowTransitionCount - 1))
        settings->transition = static_cast<uint8_t>(stored->transition);
    if (InRange(stored->music, 0, 1)) settings->music = static_cast<uint8_t>(stored->music);
    // A shorter interval keeps the picture standing still for half of it at least.
    if (settings->transition_ms >= settings->interval_ms)
        settings->transition_ms = settings->interval_ms / 2;
}

void BlendPixels(uint32_t* out, const uint32_t* old_pixels, const uint32_t* new_pixels,
                 uint32_t count, uint32_t alpha) {
    const uint32_t keep = 256 - alpha;
    // Red and blue move together in one multiplication: their lanes are 16 bits apart and a
    // weighted channel needs at most 16 bits, so nothing carries from blue into red.
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t a = old_pixels[i], b = new_pixels[i];
        const uint32_t rb = ((a & 0xFF00FFu) * keep + (b & 0xFF00FFu) * alpha) >> 8;
        const uint32_t g = ((a & 0x00FF00u) * keep + (b & 0x00FF00u) * alpha) >> 8;
        out[i] = (rb & 0xFF00FFu) | (g & 0x00FF00u);
    }
}
