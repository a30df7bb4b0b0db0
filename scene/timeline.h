#pragma once
// The show's schedule, every time and bound of it written here once, and the state the scene
// keeps from frame to frame. The scene steps and draws by the schedule; the programs that pace
// the scene themselves (the capture, the page) and the capture's estimate of the time left read
// it from here.
#include <cstdint>

inline constexpr int32_t slot_ms = 10;  // the scene draws at most one frame per slot of this many ms

// Last timeline ms of the show: the first frame drawn after it raises quitnow. Programs that
// pace the scene themselves (the capture) need it to know how many frames the show has.
inline constexpr int32_t end_ms = 115999;

// When each of the four ripple grid layers is drawn and grows, in timeline ms. A layer is drawn
// in the frames with after < t < before (no_start, no_end: from or until the end of time). Its
// half-size follows time, one cell more every 100 ms (grown_at), in the frames drawn while
// t < grow_until, and then keeps the size of the last of them.
struct layer_time {
    int32_t after, before, grow_until;
};
inline constexpr int32_t no_start = INT32_MIN, no_end = INT32_MAX;
inline constexpr layer_time layer_times[4] = {
    {no_start, 25000, 5000},
    {20000, 95000, 25000},
    {50000, 95000, 54000},
    {90000, no_end, 100000},
};

inline constexpr int32_t max_half = 99;  // largest half-size: 199 x 199 cells

// Whether layer l (0 to 3) is drawn in a frame at t. With l a constant this folds to the
// comparisons the layer needs, no_start and no_end to none.
[[gnu::always_inline]] constexpr bool layer_shown(int l, int32_t t)
{
    const layer_time& w = layer_times[l];
    return (w.after == no_start || t > w.after) && (w.before == no_end || t < w.before);
}

// Growth only happens in frames where the layer is drawn, so it must end inside the window.
static_assert([] {
    for (const layer_time& w : layer_times)
        if (!(w.after < w.grow_until && w.grow_until <= w.before))
            return false;
    return true;
}());

// Whether layer l grows in a frame at t: drawn there, before its growth ends.
[[gnu::always_inline]] constexpr bool layer_growing(int l, int32_t t)
{
    const layer_time& w = layer_times[l];
    return (w.after == no_start || t > w.after) && t < w.grow_until;
}

// Half-size of a growing layer in a frame at t: t / 100, wrapping to 0 past max_half.
constexpr int32_t grown_at(int32_t t) { return t / 100 % (max_half + 1); }

// Vertices of the largest batch the scene draws: layer 4 at its full size, four a cell (158404).
inline constexpr int max_verts = 4 * (2 * max_half + 1) * (2 * max_half + 1);

// The camera: its height bobs as bob_cos * cos(b) - cam_depth + bob_sin * sin(b), b = t * bob_rate,
// its distance cam_back times the height, and it turns one degree every turn_ms; after rise_from
// ms each frame lifts it by rise_step more, until height and lift together reach rise_top.
inline constexpr double bob_rate = 0.00034232;  // phase per ms: one bob every ~18355 ms
inline constexpr double bob_cos = 0.8, bob_sin = 2, cam_depth = 8;
inline constexpr double cam_back = 2.5;
inline constexpr double turn_ms = 100;
inline constexpr int32_t rise_from = 80000;
inline constexpr double rise_step = 0.01;
inline constexpr double rise_top = 45;

extern int32_t lasttick;     // ms: end of the 10 ms slot of the last frame; a multiple of 10
extern float add;            // camera lift in world units, grows per frame after rise_from
extern float cam;            // camera height of the latest frame, world units
extern int32_t halfsize[4];  // each layer's grid half-size N: cells run from -N to N on both axes
