// Writes the first N frames intro-port plays, rendered offline, to standard output as raw
// little-endian 16-bit stereo, so an end-to-end test can compare them with a real capture.
#include "../../song/song.h"
#include "../../synth_float/synth.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace port;

int main(int argc, char** argv)
{
    long frames = argc > 1 ? std::atol(argv[1]) : 0;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: render-port FRAMES\n");
        return 2;
    }
    synth_start(44100);
    if (parse_builtin_song() != 0) {
        std::fprintf(stderr, "render-port: %s\n", song_error);
        return 1;
    }
    std::vector<int16_t> buf(2 * 1024);
    for (long done = 0; done < frames; done += 1024) {
        int n = static_cast<int>(frames - done < 1024 ? frames - done : 1024);
        mix_frames(buf.data(), n);
        std::fwrite(buf.data(), 4, n, stdout);
    }
    return 0;
}
