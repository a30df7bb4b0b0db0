// intro-tiny's music pinned: the synthesizer as intro-tiny compiles it, playing the tables it is
// linked with (a feature's tables from tiny_tables/, or the real song), from program start, in the
// device's 1024-sample buffers. Usage: PROGRAM NAME SAMPLES; the golden is expected/tiny-NAME.golden.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "golden.h"
#include "velk_tiny.h"

namespace {

constexpr int chunk = 1024;  // samples per callback, as intro-tiny asks the device for
constexpr int head = 48;     // samples kept as text in the golden

std::string name;
int samples;

TEST(TinyGolden, RenderMatches)
{
    ASSERT_GT(samples, 0) << "usage: PROGRAM NAME SAMPLES";
    tiny::velk_init();
    std::vector<int16_t> out(samples);
    std::vector<uint8_t> buf(2 * chunk);
    for (int k = 0; k < samples; k += chunk) {
        const int n = std::min(chunk, samples - k);
        tiny::velk_play(nullptr, buf.data(), 2 * n);
        for (int j = 0; j < n; j++)
            out[k + j] = (int16_t)(buf[2 * j] | buf[2 * j + 1] << 8);
    }
    EXPECT_GT(std::count_if(out.begin(), out.end(), [](int16_t v) { return v != 0; }), samples / 10)
        << "a feature's render should be at least a tenth sound";
    expect_golden("expected/tiny-" + name + ".golden", out, 1, head);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc == 3) {
        name = argv[1];
        samples = std::atoi(argv[2]);
    }
    return RUN_ALL_TESTS();
}
