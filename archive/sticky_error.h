// StickyError: the archive layer's latch of its first failure. While it is latched, the
// operations that honour it do nothing and fail, so a sequence of copies needs one test at the
// end. Failures latch only while it is armed.
#pragma once

struct StickyErrorState {
    int latched;  // 1 after a failure while armed
    int armed;    // failures set the latch only when 1
};
extern StickyErrorState StickyError;

// Clears the latch and arms it (on != 0) or disarms it.
void SetStickyErrorMode(int on);

// Records a failure: sets the latch when armed.
inline void LatchFailure() {
    if (StickyError.armed) StickyError.latched = 1;
}
