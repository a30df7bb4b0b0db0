// The state a drawn frame leaves behind, stepped slot by slot without the layers' cells. Mirrors
// magic (scene/scene.cpp) and the layers' growth (scene/layers.cpp) line for line; a test holds
// it against the scene itself, drawn through idle slots, at every slot of the show.
#include "advance.h"

#include "../scene/layers.h"
#include "../scene/scene.h"
#include "../scene/timeline.h"
#include "../scene/tools.h"

namespace {
constexpr double bob_rate = 0.00034232;  // as in magic
constexpr int32_t rise_from = 80000;
constexpr double rise_step = 0.01;
constexpr double rise_top = 45;

void grow(int32_t& n, int32_t t, int32_t limit)
{
    if (t < limit)
        n = t / 100 % 100;
}

// What magic's frame at t changes, t being the first millisecond after lasttick.
void step(int32_t t)
{
    lasttick += slot_ms;
    float b = static_cast<float>(t * bob_rate);
    cam = static_cast<float>(0.8 * tcosf(b) - 8 + 2 * tsinf(b));
    if (t > rise_from && static_cast<double>(cam) + add < rise_top)
        add = static_cast<float>(add + rise_step);
    if (t < 25000)
        grow(halfsize1, t, 5000);
    if (t > 20000 && t < 95000)
        grow(halfsize2, t, 25000);
    if (t > 50000 && t < 95000)
        grow(halfsize3, t, 54000);
    if (t > 90000)
        grow(halfsize4, t, 100000);
    if (t > end_ms)
        quitnow = 1;
}
}

void advance(int32_t t)
{
    while (lasttick + slot_ms < t)
        step(lasttick + 1);
}

