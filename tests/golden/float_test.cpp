// intro-port's music pinned: one small song per feature of the float synthesizer, and the
// built-in song over the whole show, each rendered through mix_frames from synth_start and
// compared with its golden (expected/float-NAME.golden; the songs are songs/NAME.song).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "golden.h"
#include "song/song.h"
#include "synth_float/synth.h"

namespace {

constexpr int rate = 44100;      // the intro's output rate
constexpr int show_s = 116;      // the show's length in seconds
constexpr int chunk = 1024;      // frames per call, as the audio device asks for them
constexpr int head = 48;         // frames kept as text in each golden

struct feature {
    const char* name;  // songs/NAME.song, expected/float-NAME.golden
    int frames;        // frames rendered
};

// Rows are 3307 frames at "bpm:200" (735 in notes; tempo has its own); echo lines three rows.
const feature features[] = {
    {"wave-square", 4000}, {"wave-sine", 4000}, {"wave-saw", 4000}, {"wave-noise", 4000},
    {"env-attack", 2600},  {"env-decay", 2600}, {"env-sustain", 2600}, {"env-release", 2600},
    {"sweep-up", 6000},    {"sweep-down", 6000}, {"sweep-reverse", 6000}, {"ringmod", 4000},
    {"lowpass", 4000},     {"notes", 57000},
    {"vol", 13300},        {"sld", 13300},       {"echo", 26500},      {"pan", 6700},
    {"stop", 6700},        {"loop", 20000},      {"tempo", 40000},
};

std::vector<int16_t> render(int frames)
{
    std::vector<int16_t> out(2 * (size_t)frames);
    for (int k = 0; k < frames; k += chunk)
        port::mix_frames(out.data() + 2 * k, std::min(chunk, frames - k));
    return out;
}

class FloatGolden : public ::testing::TestWithParam<feature> {};

TEST_P(FloatGolden, RenderMatches)
{
    const feature& f = GetParam();
    std::string text = golden_text(std::string("songs/") + f.name + ".song");
    ASSERT_FALSE(text.empty());
    port::synth_start(rate);
    ASSERT_EQ(port::parse_song(text.data()), 0) << port::song_error;
    const std::vector<int16_t> out = render(f.frames);
    EXPECT_GT(std::count_if(out.begin(), out.end(), [](int16_t v) { return v != 0; }), f.frames / 10)
        << "a feature's render should be at least a tenth sound";
    expect_golden(std::string("expected/float-") + f.name + ".golden", out, 2, head);
}

INSTANTIATE_TEST_SUITE_P(Feature, FloatGolden, ::testing::ValuesIn(features),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (c == '-')
                                     c = '_';
                             return n;
                         });

TEST(FloatGoldenSong, WholeShow)
{
    port::synth_start(rate);
    ASSERT_EQ(port::parse_builtin_song(), 0) << port::song_error;
    expect_golden("expected/float-song.golden", render(show_s * rate), 2, head);
}

}  // namespace
