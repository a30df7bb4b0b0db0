// The capture's frame clock: frame times, frame counts and the scene brought up to a frame.
#include "clock.h"

#include "../scene/scene.h"
#include "../scene/scope.h"
#include "../scene/timeline.h"
#include "music.h"

namespace {
constexpr int64_t ms_per_s = 1000;

void use(const gl_slots& table) { gslots = table; }

void i_u(unsigned) {}
void i_v() {}
void i_3f(float, float, float) {}
void i_4f(float, float, float, float) {}
void i_6d(double, double, double, double, double, double) {}

void show_at(int32_t t)
{
    smp.store(scope_at(t), std::memory_order_release);
    magic(t);
}
}

const gl_slots idle_slots = {.begin = i_u, .end = i_v, .vertex3f = i_3f, .matrixmode = i_u,
                             .loadidentity = i_v, .clear = i_u, .color3f = i_3f, .rotatef = i_4f,
                             .translatef = i_3f, .enable = i_u, .frustum = i_6d};

int32_t frame_ms(int64_t n, int fps) { return static_cast<int32_t>(n * ms_per_s / fps); }

int64_t show_frames(int fps)
{
    // The last frame is the first with frame_ms > end_ms, i.e. n * 1000 / fps >= end_ms + 1.
    return ((end_ms + 1) * int64_t{fps} + ms_per_s - 1) / ms_per_s + 1;
}

int64_t frame_at(int32_t ms, int fps) { return (ms * int64_t{fps} + ms_per_s - 1) / ms_per_s; }

int64_t samples_before(int64_t n, int fps) { return (n * sample_rate + fps - 1) / fps; }

void shoot(int32_t t, const gl_slots& idle, const gl_slots& draw)
{
    use(idle);
    // lasttick ends the last slot drawn. While the slot after it still ends before t, that slot
    // is one before t's own: draw it at its first millisecond, as a live run at the cap does.
    while (lasttick + slot_ms < t)
        show_at(lasttick + 1);
    use(draw);
    show_at(t);
}
