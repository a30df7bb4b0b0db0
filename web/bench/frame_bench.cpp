// CPU time of the heaviest scene frame in wasm (layer 4 at its full 39601 cells, t >= 99900):
// with the GL calls to no-ops, as the native scene benchmark measures it, and through the WebGL
// backend's slots up to the page's draw call (a no-op here, under node). Best of a few runs of
// many frames; run it with node.
#include <emscripten.h>

#include <cstdio>

#include "../../playback/music.h"
#include "../../scene/scene.h"
#include "../../scene/scope.h"
#include "../../scene/timeline.h"
#include "../webgl.h"

extern "C" {
void js_clear(unsigned) {}
void js_enable(unsigned) {}
void js_draw(const void*, int, const float*, const float*) {}
}

namespace {
constexpr int frames = 200, runs = 5;

// CPU time of the process in ms (node's own count: user and system).
double cpu_ms()
{
    return EM_ASM_DOUBLE({
        var u = process.cpuUsage();
        return (u.user + u.system) / 1000;
    });
}

double best_ms(void (*use)(), int32_t t)
{
    double best = 1e9;
    for (int r = 0; r < runs; r++) {
        double start = cpu_ms();
        for (int f = 0; f < frames; f++) {
            lasttick = t - 1;  // the frame at t is due again
            use();
            magic(t);
        }
        double ms = (cpu_ms() - start) / frames;
        best = ms < best ? ms : best;
    }
    return best;
}
}

int main()
{
    const char* why = "";
    if (!render_music(synth_port, 0, end_ms, &why))
        return 1;
    const int32_t t = 105000;
    smp.store(scope_at(t));
    scene_catch_up(t);
    std::printf("heaviest frame (t = %d, 39601 cells), GL calls to no-ops: %.3f ms\n", t, best_ms(use_idle, t));
    set_batch_cap(max_verts);
    double start = cpu_ms();
    for (int r = 0; r < runs; r++) {
        scene_reset();
        scene_catch_up(end_ms);
    }
    std::printf("catching up on the whole show's slots (a tab hidden for 116 s): %.3f ms\n", (cpu_ms() - start) / runs);
    std::printf("the same through the WebGL backend's slots: %.3f ms\n", best_ms(use_webgl, t));
    return 0;
}
