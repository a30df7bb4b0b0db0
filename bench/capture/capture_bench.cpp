// Drawing plus readback in intro-capture, by frame size and section of the show: frames per
// second and CPU milliseconds per frame (all threads: the scene, llvmpipe's), without encoding
// (bench/capture/measure.py times whole captures). Each figure is the best of a few runs, as the
// machine may be shared. Prints a Markdown table.
//
// Usage: capture-bench [SECONDS [RUNS]]   (show seconds timed per section at 60 fps, default 2;
//                                          runs per figure, default 3)
//        capture-bench --profile WxH [EVERY]  (CPU ms per frame of a quarter second at every
//                                          EVERY seconds of the show, default 2: the shape of
//                                          the cost over time that the time-left estimate models)
//        capture-bench --plan WxH [PRESET]     (the time-left estimate's cost of each frame of a
//                                          whole capture at 60 fps, one a line, for eta_check.py)
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "../../capture/batch.h"
#include "../../capture/eta.h"
#include "../../capture/gl.h"
#include "../../playback/clock.h"
#include "../../playback/music.h"
#include "../../scene/idle.h"
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

// CPU ms per frame of frames first to last - 1, drawn and read back as intro-capture does it,
// after the show up to them went by undrawn. Returns the wall seconds in *took.
double timed(int64_t first, int64_t last, std::vector<uint8_t>& rgba, double* took)
{
    scene_reset();
    shoot(frame_ms(first - 1, fps), idle_slots);
    auto t0 = std::chrono::steady_clock::now();
    double c0 = cpu_s();
    for (int64_t n = first; n < last; n++) {
        gl_draw_to(n);
        shoot(frame_ms(n, fps), batch_slots);
        gl_done(n);
        if (n > first)
            gl_read(n - 1, rgba.data());
    }
    gl_read(last - 1, rgba.data());
    *took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return (cpu_s() - c0) * 1000 / (last - first);
}

int profile(const char* size, double every)
{
    int w, h;
    if (std::sscanf(size, "%dx%d", &w, &h) != 2 || !gl_open(w, h))
        return 1;
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    std::printf("| show s | CPU ms per frame, %dx%d |\n|---|---|\n", w, h);
    for (double s = 0.5; s < 116; s += every) {
        int64_t first = frame_at(static_cast<int32_t>(s * 1000), fps);
        double took;
        std::printf("| %.1f | %.1f |\n", s, timed(first, first + fps / 4, rgba, &took));
        std::fflush(stdout);
    }
    gl_close();
    return 0;
}
}

int main(int argc, char** argv)
{
    const char* why = "";
    if (argc > 2 && !std::strcmp(argv[1], "--plan")) {
        int w, h;
        if (std::sscanf(argv[2], "%dx%d", &w, &h) != 2)
            return 1;
        double coder = coding_cost(coder_x264, argc > 3 ? argv[3] : "veryfast");
        for (int64_t n = 0; n < show_frames(fps); n++)
            std::printf("%.4f\n", frame_cost(frame_ms(n, fps), w, h, coder));
        return 0;
    }
    if (argc > 2 && !std::strcmp(argv[1], "--profile")) {
        if (!render_music(synth_port, 117 * sample_rate, 117000, &why))
            return std::fprintf(stderr, "capture-bench: %s\n", why), 1;
        return profile(argv[2], argc > 3 ? std::atof(argv[3]) : 2);
    }
    double seconds = argc > 1 ? std::atof(argv[1]) : 2;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
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
                int64_t first = frame_at(sections[s].from_s * 1000, fps);
                int64_t last = first + static_cast<int64_t>(seconds * fps);
                double took, ms = timed(first, last, rgba, &took);
                if ((last - first) / took > rate[s][z]) {
                    rate[s][z] = (last - first) / took;
                    cpu_ms[s][z] = ms;
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
