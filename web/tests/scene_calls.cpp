// Writes the scene's GL calls at the moments given in ms, as the frame clock brings the scene
// there with the port's music: per moment a line "t N", then one line per call, its slot and its
// arguments. Built natively and for wasm, so the two can be compared (compare_calls.py).
#include <cstdio>
#include <cstdlib>

#include "../../playback/clock.h"
#include "../../playback/music.h"
#include "recorder.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: scene-calls MS...\n");
        return 2;
    }
    const gl_slots rec = gslots;  // the recorder's
    int32_t last = std::atoi(argv[argc - 1]);
    const char* why = "";
    if (!render_music(synth_port, 0, last, &why)) {
        std::fprintf(stderr, "scene-calls: %s\n", why);
        return 1;
    }
    for (int i = 1; i < argc; i++) {
        int32_t t = std::atoi(argv[i]);
        rec_reset();
        shoot(t, rec);
        std::printf("t %d %zu\n", t, calls.size());
        for (const call& c : calls)
            std::printf("%d %.9g %.9g %.9g %.9g %.9g %.9g\n", c.fn, c.a[0], c.a[1], c.a[2], c.a[3], c.a[4], c.a[5]);
    }
    return 0;
}
