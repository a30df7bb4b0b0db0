// magic: frame pacing, then the state step (camera, rise, growth, end) and the frame drawn
// from it.
#include "scene.h"

#include "gfx.h"
#include "layers.h"
#include "scope.h"
#include "timeline.h"
#include "tools.h"

int32_t lasttick;
float add;
float cam;
int32_t halfsize[4];
uint8_t quitnow;

namespace {
constexpr unsigned gl_color_depth = 0x4000 | 0x100;  // GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
constexpr unsigned gl_projection = 0x1701;
constexpr unsigned gl_modelview = 0x1700;
constexpr unsigned gl_depth_test = 2929;

// Moves lasttick forward in whole slots to the first slot end at or after t (t > lasttick).
// Computed in one step so a long stall costs nothing and a huge t cannot loop forever.
void next_slot(int32_t t)
{
    uint64_t behind = static_cast<uint32_t>(t) - static_cast<uint32_t>(lasttick);
    uint64_t steps = (behind + slot_ms - 1) / slot_ms;
    lasttick = static_cast<int32_t>(static_cast<uint32_t>(lasttick) + static_cast<uint32_t>(steps * slot_ms));
}

// Grows layer l as a frame at t does. l is a constant at each call, so the schedule folds in.
[[gnu::always_inline]] inline void grow(int l, int32_t t, int32_t size)
{
    if (layer_growing(l, t))
        halfsize[l] = size;
}

// What a frame at t changes (t > lasttick). Inlined into magic, so intro-tiny carries it once.
[[gnu::always_inline]] inline void step(int32_t t)
{
    next_slot(t);
    int32_t size = grown_at(t);
    grow(0, t, size);
    grow(1, t, size);
    grow(2, t, size);
    grow(3, t, size);
    if (t > end_ms)
        quitnow = 1;
    float b = static_cast<float>(t * bob_rate);
    cam = static_cast<float>(bob_cos * tcosf(b) - cam_depth + bob_sin * tsinf(b));
    if (t > rise_from && static_cast<double>(cam) + add < rise_top)
        add = static_cast<float>(add + rise_step);
}

// The frame at t, from the state its step left.
[[gnu::always_inline]] inline void draw(int32_t t)
{
    tlClear(gl_color_depth);
    tlMatrixMode(gl_projection);
    tlLoadIdentity();
    frustum();

    // The camera lives in the projection matrix.
    tlTranslatef(0, cam + add, static_cast<float>(cam_back * cam));
    tlRotatef(static_cast<float>(t / turn_ms), 0, 0.1f, 0);

    tlMatrixMode(gl_modelview);
    tlEnable(gl_depth_test);
    tlLoadIdentity();
    tlTranslatef(0, 0, -3);

    // Layers don't restore the modelview matrix, so their offsets add up in this order.
    if (layer_shown(0, t))
        draw1(t);
    if (layer_shown(1, t))
        draw2(t);
    if (layer_shown(2, t))
        draw3(t);
    if (layer_shown(3, t))
        draw4(t);
}
}

void scene_reset()
{
    lasttick = 0;
    add = 0;
    cam = 0;
    quitnow = 0;
    halfsize[0] = halfsize[1] = halfsize[2] = halfsize[3] = 0;
}

void magic(int32_t t)
{
    if (!smp.load(std::memory_order_acquire))
        return;  // nothing to react to until the first audio buffer
    if (t <= lasttick) {
        TDL_Delay(1);  // this slot's frame is drawn; don't spin
        return;
    }
    step(t);
    draw(t);
}

void scene_step(int32_t t) { step(t); }

void scene_catch_up(int32_t t)
{
    // lasttick ends the last slot stepped. While the slot after it still ends before t, that slot
    // is one before t's own: step it at its first millisecond, as a live run at the cap draws it.
    while (lasttick + slot_ms < t)
        scene_step(lasttick + 1);
}
