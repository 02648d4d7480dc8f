// The fade's cost on the host: one 1920x1080 cross-fade (BlendPixels, as the saver draws each
// frame of a fade before it copies the frame to the screen), in milliseconds per frame.
//
//   bench_saver_blend [FRAMES]      default 200; 1 for callgrind:
//   valgrind --tool=callgrind build/host-release/bench/bench_saver_blend 1
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <vector>

#include "saver/show_plan.h"

int main(int argc, char** argv) {
    const int frames = argc > 1 ? atoi(argv[1]) : 200;
    const uint32_t count = 1920 * 1080;
    std::vector<uint32_t> old_pixels(count), new_pixels(count), out(count);
    for (uint32_t i = 0; i < count; ++i) {
        old_pixels[i] = i * 2654435761u & 0xFFFFFF;
        new_pixels[i] = ~old_pixels[i] & 0xFFFFFF;
    }
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    uint32_t check = 0;
    for (int f = 0; f < frames; ++f) {
        BlendPixels(out.data(), old_pixels.data(), new_pixels.data(), count,
                    static_cast<uint32_t>(f * 256 / (frames > 1 ? frames - 1 : 1)));
        check += out[f % count];
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double ms = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
    printf(
        "fade 1920x1080: %d frames, %.2f ms per frame, %.0f frames per second of blending "
        "(check %u)\n",
        frames, ms / frames, frames * 1000.0 / ms, check);
    return 0;
}
