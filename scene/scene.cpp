// magic: frame pacing, projection, camera and the layer schedule of one frame.
#include "scene.h"

#include "gfx.h"
#include "layers.h"
#include "scope.h"
#include "timeline.h"
#include "tools.h"

int32_t lasttick;
float add;
float cam;
uint8_t quitnow;

namespace {
constexpr unsigned gl_color_depth = 0x4000 | 0x100;  // GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
constexpr unsigned gl_projection = 0x1701;
constexpr unsigned gl_modelview = 0x1700;
constexpr unsigned gl_depth_test = 2929;

constexpr double bob_rate = 0.00034232;  // camera phase per ms: one bob every ~18355 ms
constexpr int32_t rise_from = 80000;     // ms after which the camera rises
constexpr double rise_step = 0.01;       // rise per drawn frame
constexpr double rise_top = 45;          // cam + add stops rising here

// Moves lasttick forward in whole slots to the first slot end at or after t (t > lasttick).
// Computed in one step so a long stall costs nothing and a huge t cannot loop forever.
void next_slot(int32_t t)
{
    uint64_t behind = static_cast<uint32_t>(t) - static_cast<uint32_t>(lasttick);
    uint64_t steps = (behind + slot_ms - 1) / slot_ms;
    lasttick = static_cast<int32_t>(static_cast<uint32_t>(lasttick) + static_cast<uint32_t>(steps * slot_ms));
}
}

void scene_reset()
{
    lasttick = 0;
    add = 0;
    cam = 0;
    quitnow = 0;
    halfsize1 = halfsize2 = halfsize3 = halfsize4 = 0;
}

void magic(int32_t t)
{
    if (!smp.load(std::memory_order_acquire))
        return;  // nothing to react to until the first audio buffer
    if (t <= lasttick) {
        TDL_Delay(1);  // this slot's frame is drawn; don't spin
        return;
    }
    next_slot(t);

    tlClear(gl_color_depth);
    tlMatrixMode(gl_projection);
    tlLoadIdentity();
    frustum();

    float b = static_cast<float>(t * bob_rate);
    cam = static_cast<float>(0.8 * tcosf(b) - 8 + 2 * tsinf(b));
    if (t > rise_from && static_cast<double>(cam) + add < rise_top)
        add = static_cast<float>(add + rise_step);

    // The camera lives in the projection matrix.
    tlTranslatef(0, cam + add, static_cast<float>(2.5 * cam));
    tlRotatef(static_cast<float>(t / 100.0), 0, 0.1f, 0);  // one degree per 100 ms

    tlMatrixMode(gl_modelview);
    tlEnable(gl_depth_test);
    tlLoadIdentity();
    tlTranslatef(0, 0, -3);

    // Layers don't restore the modelview matrix, so their offsets add up in this order.
    if (t < 25000)
        draw1(t);
    if (t > 20000 && t < 95000)
        draw2(t);
    if (t > 50000 && t < 95000)
        draw3(t);
    if (t > 90000)
        draw4(t);

    if (t > end_ms)
        quitnow = 1;
}
