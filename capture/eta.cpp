// The time left: the cost of every frame of the capture weighed in advance from the layer
// schedule, and the rate so far applied to the cost that is left.
#include "eta.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "clock.h"

namespace {
// One layer as the scene draws it (scene.cpp) and grows it (layers.cpp): drawn while
// after < t < before, its half-size following t / 100 % 100 until grow_until. Its drawing cost
// at full size is in CPU ms a frame at 1280x720 (llvmpipe rasterising; fitted to
// `capture-bench --profile`, README), and while the layer grows it rises as a power of the
// half-size: the outer cells are the large quads, seen through the ripple far from the centre.
struct layer_span {
    int32_t after, before, grow_until;
    double full_ms;  // cost at full size
    double power;    // cost ~ half-size ^ power while growing
};
const layer_span spans[4] = {
    {-1, 25000, 5000, 4.4, 2},
    {20000, 95000, 25000, 25, 2.5},
    {50000, 95000, 54000, 16.5, 1.5},
    {90000, INT32_MAX, 100000, 17, 2},
};
constexpr double frame_ms0 = 1.5;  // clearing, the scene's own work and reading back, any frame

// Layer 4 lies far below the camera and fills the picture only as the camera rises: from 80 s
// the rise is one unit a second (0.01 per 10 ms slot), and layer 4's cost climbs from a tenth
// to its full figure between 20 and 28 units up.
constexpr int32_t rise_from_ms = 80000;
constexpr double seen_from = 20, seen_full = 28, seen_least = 0.1;

double seen(int32_t t)
{
    double up = t > rise_from_ms ? (t - rise_from_ms) / 1000.0 : 0;
    double f = seen_least + (1 - seen_least) * (up - seen_from) / (seen_full - seen_from);
    return f < seen_least ? seen_least : f > 1 ? 1 : f;
}

constexpr int32_t max_half = 99;          // the scene caps half-sizes here
constexpr double ref_pixels = 1280 * 720;  // the size the costs are measured at
// Rasterising cost grows more slowly than the pixel count (capture-bench: 1920x1080 costs
// 1.6 times 1280x720 for 2.25 times the pixels); coding grows with it.
constexpr double draw_scale_power = 0.6;

// Reading back and coding a 1280x720 frame, CPU ms on average over the show, by coder (x264's
// by preset).
constexpr double png_ms = 20;
constexpr double ffv1_ms = 30;
struct preset_ms {
    const char* preset;
    double ms;
};
const preset_ms x264_ms[] = {{"ultrafast", 10}, {"superfast", 18}, {"veryfast", 25}, {"faster", 35}, {"fast", 45},
                             {"medium", 50}, {"slow", 80}, {"slower", 150}, {"veryslow", 250}, {"placebo", 600}};

int32_t half_at(const layer_span& s, int32_t t)
{
    int32_t n = (t < s.grow_until ? t : s.grow_until - 1) / 100 % 100;
    return n < max_half ? n : max_half;
}

std::vector<double> left_after;  // cost of the planned frames after the first k, for k = 0..frames

// The rate is taken over this last stretch of time: long enough to smooth a frame's ups and
// downs, short enough to follow a machine whose other work comes and goes.
constexpr double window_s = 60;
constexpr int samples = 64;      // records kept, one a second at most: a little over the window
struct sample {
    double elapsed, spent;       // seconds since the start; plan's weight finished by then
};
sample past[samples];            // a ring, newest at (next - 1)
int next, kept;

double spent_by(int64_t done)
{
    size_t k = static_cast<size_t>(done) < left_after.size() ? static_cast<size_t>(done) : left_after.size() - 1;
    return left_after[0] - left_after[k];
}
}

double coding_cost(coder c, const char* preset)
{
    if (c == coder_png)
        return png_ms;
    if (c == coder_ffv1)
        return ffv1_ms;
    for (const auto& p : x264_ms)
        if (!std::strcmp(p.preset, preset))
            return p.ms;
    return x264_ms[std::size(x264_ms) - 1].ms;
}

void layer_cells(int32_t t, int32_t cells[4])
{
    for (int l = 0; l < 4; l++) {
        const layer_span& s = spans[l];
        int32_t n = half_at(s, t);
        cells[l] = t > s.after && t < s.before ? (2 * n + 1) * (2 * n + 1) : 0;
    }
}

double frame_cost(int32_t t, int w, int h, double per_frame)
{
    double pixels = static_cast<double>(w) * h / ref_pixels;
    double draw = 0;
    for (const layer_span& s : spans)
        if (t > s.after && t < s.before) {
            int32_t full = half_at(s, s.grow_until - 1);
            double d = s.full_ms * std::pow(static_cast<double>(half_at(s, t)) / full, s.power);
            draw += &s == &spans[3] ? d * seen(t) : d;
        }
    return (frame_ms0 + draw) * std::pow(pixels, draw_scale_power) + per_frame * pixels;
}

void eta_plan(int64_t first, int64_t last, int fps, int w, int h, double per_frame)
{
    left_after.assign(static_cast<size_t>(last - first + 1), 0);
    for (int64_t n = last - 1; n >= first; n--)
        left_after[n - first] = left_after[n - first + 1] + frame_cost(frame_ms(n, fps), w, h, per_frame);
    next = kept = 0;
}

void eta_note(int64_t done, double elapsed)
{
    if (left_after.empty() || (kept && elapsed < past[(next + samples - 1) % samples].elapsed + 1))
        return;
    past[next] = {elapsed, spent_by(done)};
    next = (next + 1) % samples;
    kept += kept < samples;
}

double eta_left(int64_t done, double elapsed)
{
    if (left_after.empty() || done <= 0 || elapsed <= 0)
        return -1;
    double spent = spent_by(done), left = left_after[0] - spent;
    // From the oldest record within the window (or the newest before it); from the start while
    // the capture is younger than the window.
    sample from = {0, 0};
    if (elapsed > window_s)
        for (int i = 0; i < kept; i++) {
            const sample& s = past[(next + samples - kept + i) % samples];
            if (s.elapsed >= elapsed - window_s) {
                if (s.elapsed < elapsed)
                    from = s;
                break;
            }
            from = s;
        }
    double rate = (spent - from.spent) / (elapsed - from.elapsed);
    if (rate <= 0)
        return left > 0 ? -1 : 0;
    return left / rate;
}
