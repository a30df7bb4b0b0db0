// The frame clock: frame times, frame counts and the scene brought up to a frame.
#include "clock.h"

#include "../scene/scene.h"
#include "../scene/scope.h"
#include "../scene/timeline.h"
#include "music.h"

namespace {
constexpr int64_t ms_per_s = 1000;
}

int32_t frame_ms(int64_t n, int fps) { return static_cast<int32_t>(n * ms_per_s / fps); }

int64_t show_frames(int fps)
{
    // The last frame is the first with frame_ms > end_ms, i.e. n * 1000 / fps >= end_ms + 1.
    return ((end_ms + 1) * int64_t{fps} + ms_per_s - 1) / ms_per_s + 1;
}

int64_t frame_at(int32_t ms, int fps) { return (ms * int64_t{fps} + ms_per_s - 1) / ms_per_s; }

int64_t samples_before(int64_t n, int fps) { return (n * sample_rate + fps - 1) / fps; }

void shoot(int32_t t, const gl_slots& draw)
{
    scene_catch_up(t);
    gslots = draw;
    smp.store(scope_at(t), std::memory_order_release);
    magic(t);
}
