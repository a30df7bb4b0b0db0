// Drawing plus readback in intro-capture, by frame size and section of the show: frames per
// second and CPU milliseconds per frame (all threads: the scene, llvmpipe's), without encoding
// (bench/capture/measure.py times whole captures). Each figure is the best of a few runs, as the
// machine may be shared. Prints a Markdown table.
//
// Usage: capture-bench [SECONDS [RUNS]]   (show seconds timed per section at 60 fps, default 2;
//                                          runs per figure, default 3)
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "../../capture/batch.h"
#include "../../capture/clock.h"
#include "../../capture/gl.h"
#include "../../capture/music.h"
#include "../../scene/scene.h"

namespace {
struct section {
    int from_s;
    const char* what;
};
const section sections[] = {{10, "layer 1"}, {22, "layers 1+2"}, {40, "layer 2"}, {70, "layers 2+3"},
                            {92, "layers 2+3+4"}, {96, "layer 4 growing"}, {105, "layer 4, 39601 cells"}};
const int sizes[][2] = {{800, 600}, {1280, 720}, {1920, 1080}};
constexpr int fps = 60;

double cpu_s()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
}

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 2;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const char* why = "";
    if (!render_music(synth_port, 117 * sample_rate, 117000, &why)) {
        std::fprintf(stderr, "capture-bench: %s\n", why);
        return 1;
    }
    std::printf("frames per second (CPU ms per frame), best of %d\n\n| section (s) | layers |", runs);
    for (auto& s : sizes)
        std::printf(" %dx%d |", s[0], s[1]);
    std::printf("\n|---|---|---|---|---|\n");
    double rate[std::size(sections)][std::size(sizes)] = {}, cpu_ms[std::size(sections)][std::size(sizes)] = {};
    for (size_t z = 0; z < std::size(sizes); z++) {
        int w = sizes[z][0], h = sizes[z][1];
        if (!gl_open(w, h))
            return 1;
        std::vector<uint8_t> rgba(size_t(w) * h * 4);
        for (size_t s = 0; s < std::size(sections); s++)
            for (int r = 0; r < runs; r++) {
                scene_reset();
                int64_t first = frame_at(sections[s].from_s * 1000, fps);
                int64_t last = first + static_cast<int64_t>(seconds * fps);
                shoot(frame_ms(first - 1, fps), idle_slots, idle_slots);  // the show up to the section, undrawn
                auto t0 = std::chrono::steady_clock::now();
                double c0 = cpu_s();
                for (int64_t n = first; n < last; n++) {  // as intro-capture does it
                    gl_draw_to(n);
                    shoot(frame_ms(n, fps), idle_slots, batch_slots);
                    gl_done(n);
                    if (n > first)
                        gl_read(n - 1, rgba.data());
                }
                gl_read(last - 1, rgba.data());
                double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                if ((last - first) / took > rate[s][z]) {
                    rate[s][z] = (last - first) / took;
                    cpu_ms[s][z] = (cpu_s() - c0) * 1000 / (last - first);
                }
            }
        gl_close();
    }
    for (size_t s = 0; s < std::size(sections); s++) {
        std::printf("| %d–%d | %s |", sections[s].from_s, sections[s].from_s + static_cast<int>(seconds),
                    sections[s].what);
        for (size_t z = 0; z < std::size(sizes); z++)
            std::printf(" %.0f (%.0f ms) |", rate[s][z], cpu_ms[s][z]);
        std::printf("\n");
    }
    return 0;
}
