// Cost of the scene's CPU side with every GL call going to a no-op slot.
#include <benchmark/benchmark.h>

#include "../../scene/idle.h"
#include "../../scene/scene.h"
#include "../../scene/scope.h"
#include "../../scene/timeline.h"

namespace {
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
    scene_reset();
    scene_catch_up(100000);
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
    scene_reset();
    scene_catch_up(94900);
    for (auto _ : state) {
        lasttick = 94890;
        magic(94900);
    }
}
BENCHMARK(three_layers)->Unit(benchmark::kMicrosecond);

// A program on its own clock brought through the whole show's 11600 slots without drawing them
// (a capture at 1 fps, a page whose tab was hidden throughout): the state step alone.
void whole_show_stepped(benchmark::State& state)
{
    loud_scope();
    for (auto _ : state) {
        scene_reset();
        scene_catch_up(end_ms + 1);
    }
}
BENCHMARK(whole_show_stepped)->Unit(benchmark::kMicrosecond);
}

gl_slots gslots = idle_slots;
sdl_slots sslots = no_wait;
