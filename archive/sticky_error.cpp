#include "archive/sticky_error.h"

StickyErrorState StickyError;  // disarmed and clear at start

void SetStickyErrorMode(int on) {
    StickyError.latched = 0;
    StickyError.armed = on ? 1 : 0;
}
