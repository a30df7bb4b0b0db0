// Cost of the scene's CPU side with every GL call going to a no-op slot.
#include <benchmark/benchmark.h>

#include "../../scene/gfx.h"
#include "../../scene/layers.h"
#include "../../scene/scene.h"
#include "../../scene/scope.h"
#include "../../scene/timeline.h"

namespace {
void none() {}
void none_u(unsigned) {}
void none_fff(float, float, float) {}
void none_ffff(float, float, float, float) {}
void none_d6(double, double, double, double, double, double) {}
void none_ms(uint32_t) {}

scope_buf scope;

void loud_scope()
{
    for (int n = 0; n < scope_len; n++)
        scope.v[n].store(int16_t(n * 97 % 65536 - 32768), std::memory_order_relaxed);
    smp.store(&scope);
}

// The heaviest frame: layer 4 at its full 39601 cells.
void heaviest_frame(benchmark::State& state)
{
    loud_scope();
    draw4(99900);
    for (auto _ : state) {
        lasttick = 99990;
        magic(100000);
    }
    state.SetItemsProcessed(state.iterations() * 39601);
}
BENCHMARK(heaviest_frame)->Unit(benchmark::kMicrosecond);

// The busiest three-layer frame: layers 2, 3 and 4 at 94900.
void three_layers(benchmark::State& state)
{
    loud_scope();
    draw2(24900);
    draw3(53900);
    for (auto _ : state) {
        lasttick = 94890;
        magic(94900);
    }
}
BENCHMARK(three_layers)->Unit(benchmark::kMicrosecond);
}

gl_slots gslots = {.begin = none_u, .end = none, .vertex3f = none_fff, .matrixmode = none_u,
                   .loadidentity = none, .clear = none_u, .color3f = none_fff, .rotatef = none_ffff,
                   .translatef = none_fff, .enable = none_u, .frustum = none_d6};
sdl_slots sslots = {.delay = none_ms};
