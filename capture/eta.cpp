// The time left: the cost of every frame of the capture weighed in advance from the layer
// schedule, and the rate of the last minute applied to the cost that is left.
#include "eta.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "../playback/clock.h"
#include "../scene/timeline.h"

namespace {
// Each layer's drawing cost (by layer_times' order, timeline.h) at full size, in CPU ms a frame at
// 1280x720 (llvmpipe rasterising; fitted to `capture-bench --profile`, README); while the layer
// grows it rises as a power of the half-size: the outer cells are the large quads, seen through
// the ripple far from the centre.
struct layer_cost {
    double full_ms;  // cost at full size
    double power;    // cost ~ half-size ^ power while growing
};
const layer_cost costs[4] = {{4.4, 2}, {25, 2.5}, {16.5, 1.5}, {17, 2}};
constexpr double frame_ms0 = 1.5;  // clearing, the scene's own work and reading back, any frame

// Layer 4 lies far below the camera and fills the picture only as the camera rises (one unit a
// second from 80 s): its share of its full cost by timeline ms, between these points linearly
// (capture-bench --profile; until layers 2 and 3 end they hide it, from 112 s the camera bobs up).
struct point {
    int32_t t;
    double share;
};
const point layer4_seen[] = {{layer_times[1].before, 0.05}, {layer_times[3].grow_until, 0.15}, {108000, 1},
                             {112500, 1}, {116000, 0.7}};

double seen(int32_t t)
{
    const point* p = layer4_seen;
    if (t <= p[0].t)
        return p[0].share;
    for (size_t i = 1; i < std::size(layer4_seen); i++)
        if (t <= p[i].t)
            return p[i - 1].share + (p[i].share - p[i - 1].share) * (t - p[i - 1].t) / (p[i].t - p[i - 1].t);
    return p[std::size(layer4_seen) - 1].share;
}

constexpr double ref_pixels = 1280 * 720;  // the size the costs are measured at
// Rasterising cost grows more slowly than the pixel count (capture-bench: 1920x1080 costs
// 1.6 times 1280x720 for 2.25 times the pixels); coding grows with it.
constexpr double draw_scale_power = 0.6;

// Coding one 1280x720 frame of the show with all its layers in view, CPU ms: ffmpeg's from
// bench/capture/quality.py, x264's by preset at CRF 15; libpng's from timed --frames runs. A frame that is mostly black
// costs the coder about 40 % of that (x264 between 95 and 100 s).
constexpr double png_ms = 20;
constexpr double ffv1_ms = 29;
struct preset_ms {
    const char* preset;
    double ms;
};
// (ultrafast, superfast, slower and veryslow scaled from two stretches; placebo guessed.)
const preset_ms x264_ms[] = {{"ultrafast", 12}, {"superfast", 18}, {"veryfast", 26}, {"faster", 40}, {"fast", 48},
                             {"medium", 55}, {"slow", 96}, {"slower", 170}, {"veryslow", 260}, {"placebo", 600}};
constexpr double black_share = 0.4;

// Half-size of layer l in a frame at t, taking the last frame of its growth at grow_until - 1.
int32_t half_at(int l, int32_t t)
{
    int32_t until = layer_times[l].grow_until;
    return grown_at(t < until ? t : until - 1);
}

// Nothing is drawn at 0 ms: the show's first frame is black.
bool drawn(int l, int32_t t) { return t > 0 && layer_shown(l, t); }

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
        int32_t n = half_at(l, t);
        cells[l] = drawn(l, t) ? (2 * n + 1) * (2 * n + 1) : 0;
    }
}

double frame_cost(int32_t t, int w, int h, double per_frame)
{
    double pixels = static_cast<double>(w) * h / ref_pixels;
    double draw = 0, fill = 0;  // fill: how much of the picture the layers cover, 0 to 1
    for (int l = 0; l < 4; l++)
        if (drawn(l, t)) {
            double grown = static_cast<double>(half_at(l, t)) / half_at(l, layer_times[l].grow_until - 1);
            double in_view = l == 3 ? seen(t) : 1;
            draw += costs[l].full_ms * std::pow(grown, costs[l].power) * in_view;
            fill += grown * in_view;
        }
    fill = fill < 1 ? fill : 1;
    return (frame_ms0 + draw) * std::pow(pixels, draw_scale_power) +
           per_frame * (black_share + (1 - black_share) * fill) * pixels;
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
