// Writes the first N samples intro-tiny plays, rendered offline, to standard output as raw
// little-endian 16-bit mono, so an end-to-end test can compare them with a real capture.
#include "../../synth_fixed/velk_tiny.h"

#include <cstdio>
#include <cstdlib>

using namespace tiny;

int main(int argc, char** argv)
{
    long samples = argc > 1 ? std::atol(argv[1]) : 0;
    if (samples <= 0) {
        std::fprintf(stderr, "usage: render-tiny SAMPLES\n");
        return 2;
    }
    velk_init();
    static uint8_t buf[2 * 1024];  // one device buffer: 1024 samples, as the audio request asks
    for (long done = 0; done < samples; done += 1024) {
        int n = static_cast<int>(samples - done < 1024 ? samples - done : 1024);
        velk_play(nullptr, buf, 2 * n);
        std::fwrite(buf, 2, n, stdout);
    }
    return 0;
}
