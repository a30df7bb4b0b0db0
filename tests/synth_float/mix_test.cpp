// The sequencer and mixer: when rows step, what each frame holds, echo, smoothing, clamping,
// the counter's wrap and the denormal guard.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "../../song/song.h"
#include "../../synth_float/synth.h"

using namespace port;

namespace {

std::string text;

void song(const std::string& s)
{
    text = s;
    ASSERT_EQ(parse_song(text.data()), 0) << song_error;
}

std::vector<int16_t> render(int frames)
{
    std::vector<int16_t> v(2 * frames, 12345);
    mix_frames(v.data(), frames);
    return v;
}

// What a lone channel's value s gives on one side with that side's pan share.
int16_t side(double share, double s)
{
    return (int16_t)(std::fmin(std::fmax(share * s, -3.0), 3.0) * 10922);
}

// A square at level 1 for five samples: 0, -1, -1, -1, -1, -1, 0.
const std::string short_square = "i1:kantti,1,0,4,1,0";
constexpr int note_262 = 262;  // a note value that reads the instrument one sample per frame

class Mix : public ::testing::Test {
protected:
    void SetUp() override { synth_start(44100); }
};

TEST_F(Mix, BuiltInSongIsSilentUntilFrame15129AndClampsFirstAt15309)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    const auto v = render(20000);
    int first = -1, clamped = -1;
    for (int f = 0; f < 20000; f++) {
        const int l = std::abs(v[2 * f]), r = std::abs(v[2 * f + 1]);
        if (first < 0 && (l || r))
            first = f;
        if (clamped < 0 && (l == 32766 || r == 32766))
            clamped = f;
        ASSERT_LE(std::max(l, r), 32766) << f;
    }
    EXPECT_EQ(first, 15129);
    EXPECT_EQ(clamped, 15309);
    EXPECT_EQ(counter, 20000);
}

TEST_F(Mix, RowsStepEveryRowLengthFromFrameZero)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    render(1);  // row 0: pattern 1 everywhere but tracks 4 and 5, which turn echo on
    EXPECT_EQ(ti[2], 0);
    EXPECT_FALSE(eko[2]);
    EXPECT_TRUE(eko[4]);
    render(7559);
    EXPECT_FALSE(eko[2]);
    render(1);  // frame 7560: row 1, pattern 2
    EXPECT_EQ(ti[2], 1);
    EXPECT_EQ(pi[2], 0);
    EXPECT_TRUE(eko[2]);
    EXPECT_EQ(ti[4], 0);  // "p2,loop" goes back to its first entry
    render(15120 - 7561);
    EXPECT_EQ(off[1], -1.0f);
    render(1);  // frame 15120: row 2, c1 on channels 1 and 6 to 10, one frame played
    const float step = 32.0f / 262;
    for (int c = 1; c <= 10; c++) {
        const bool plays = c == 1 || c >= 6;
        EXPECT_EQ(off[c], plays ? step : -1.0f) << c;
        if (plays) {
            EXPECT_EQ(plus[c], step) << c;
        }
    }
    EXPECT_EQ(ti[1], 2);
}

TEST_F(Mix, NoteAtFrameZeroPlaysTheBufferThenFallsSilent)
{
    song("bpm:89\n" + short_square + "\np1:c1\nt1:p1\n");
    ptn[1][0] = note_262;
    const auto v = render(6);
    EXPECT_EQ(off[1], 6.0f);
    const auto w = render(4);
    EXPECT_EQ(off[1], -1.0f);  // position 7 reached the end of the 7-sample buffer
    for (int f = 0; f < 6; f++) {
        EXPECT_EQ(v[2 * f], side(0.5, instr[1][f])) << f;
        EXPECT_EQ(v[2 * f + 1], side(0.5, instr[1][f])) << f;
    }
    EXPECT_EQ(v[2], -5461);  // trunc(0.5 * -1 * 10922)
    for (int16_t s : w)
        EXPECT_EQ(s, 0);
}

TEST_F(Mix, PanAndGain)
{
    // pan 25: a quarter left; gain 1.5 from row 0, the note in row 1
    song("bpm:89\n" + short_square + ",0,25\np1:vol,150\np2:c1\nt1:p1,p2\n");
    ptn[2][0] = note_262;
    const auto v = render(7560 + 7);
    EXPECT_EQ(gain[1], 1.5f);
    for (int k = 0; k < 7; k++) {
        const int f = 7560 + k;
        EXPECT_EQ(v[2 * f], side(0.25, instr[1][k] * 1.5)) << k;
        EXPECT_EQ(v[2 * f + 1], side(0.75, instr[1][k] * 1.5)) << k;
    }
    EXPECT_EQ(v[2 * 7561], -4095);      // trunc(0.25 * -1.5 * 10922)
    EXPECT_EQ(v[2 * 7561 + 1], -12287);  // trunc(0.75 * -1.5 * 10922)
}

TEST_F(Mix, SumsClampAtThree)
{
    const struct {
        int vol;
        int16_t want;
    } cases[] = {
        {-700, 32766},  // 3.5
        {700, -32766},  // -3.5
        {-600, 32766},  // exactly 3.0
        {-599, 32711},  // 2.995
    };
    for (const auto& c : cases) {
        synth_start(44100);
        song("bpm:89\n" + short_square + "\np1:vol," + std::to_string(c.vol) + ",c1\nt1:p1\n");
        ptn[1][2] = note_262;
        const auto v = render(7560 + 2);
        EXPECT_EQ(v[2 * 7561], c.want) << c.vol;
        EXPECT_EQ(v[2 * 7561 + 1], c.want) << c.vol;
    }
}

TEST_F(Mix, EchoReturnsAfterEchoLenMinusOneAndRecirculates)
{
    song("bpm:89\n" + short_square + "\np1:echo1\np2:c1\nt1:p1,p2\n");
    ptn[2][0] = note_262;
    const int note = 7560, delay = 22680 - 1;
    const auto v = render(note + 3 * delay + 10);
    std::vector<double> pass(7);  // what each pass brings back, sample by sample
    for (int k = 0; k < 7; k++)
        pass[k] = (float)(0.2 * instr[1][k]);
    for (int f = 0; f < (int)v.size() / 2; f++) {
        const int k = (f - note) % delay;
        const int n = (f - note) / delay;  // 0: dry, 1: first return, ...
        int16_t want = 0;
        if (f >= note && k < 7) {
            if (n == 0)
                want = side(0.5, instr[1][k]);
            else
                want = side(0.5, pass[k]);
            if (n >= 1)
                pass[k] = (float)(0.6 * pass[k]);
        }
        ASSERT_EQ(v[2 * f], want) << "frame " << f;
        ASSERT_EQ(v[2 * f + 1], want) << "frame " << f;
    }
    EXPECT_EQ(v[2 * (note + delay + 1)], -1092);   // trunc(0.5 * -0.2 * 10922)
    EXPECT_EQ(v[2 * (note + 2 * delay + 1)], -655);  // and 0.6 of that
}

TEST_F(Mix, StopSilencesAtOnceButTheEchoTailSounds)
{
    for (bool with_echo : {false, true}) {
        synth_start(44100);
        song("bpm:89\ni1:kantti,1,0,20000,1,0\np1:" + std::string(with_echo ? "echo1" : "0") +
             ",c1,stop\nt1:p1\n");
        const auto v = render(60000);
        EXPECT_NE(v[2 * 15119], 0);  // sounding up to the stop row
        for (int f = 15120; f < 30239; f++)
            ASSERT_EQ(v[2 * f], 0) << f;
        int tail = 0;
        for (int f = 30239; f < 60000; f++)
            tail += v[2 * f] != 0;
        if (with_echo)
            EXPECT_GT(tail, 7000);  // the dry stretch 7560..15119 comes back
        else
            EXPECT_EQ(tail, 0);
    }
}

TEST_F(Mix, NegativeSlideSilencesWhenThePositionDropsBelowZero)
{
    song("bpm:89\ni1:kantti,1,0,5000,1,0\np1:sld,-1000\np2:c4\nt1:p1,p2\n");
    render(7560);
    EXPECT_EQ(slide[1], -0.01f);
    render(150);  // step 261/262 shrinking by 0.01 a frame: back at 0 after about 199 frames
    EXPECT_GT(off[1], 0.0f);
    render(100);
    EXPECT_EQ(off[1], -1.0f);
    for (int16_t s : render(100))
        EXPECT_EQ(s, 0);
}

TEST_F(Mix, SmoothingKeepsMemoryAcrossFrames)
{
    song("bpm:89\n" + short_square + ",0,50,50\np1:c1\nt1:p1\n");
    ptn[1][0] = note_262;
    const auto v = render(12);
    double sm = 0;
    for (int f = 0; f < 12; f++) {
        const double dry = f < 7 ? instr[1][f] : 0.0;
        sm = 0.5 * dry + 0.5 * sm;  // halves stay exact in float
        EXPECT_EQ(v[2 * f], side(0.5, sm)) << f;
    }
    EXPECT_EQ(v[2 * 2], -4095);  // -0.75 smoothed
    EXPECT_NE(v[2 * 11], 0);     // still fading after the note ended
}

TEST_F(Mix, SmoothingAtItsLimitsStaysBounded)
{
    // lowpass 1 holds the first value, 0, for ever; -1 rings at twice the dry level at most.
    song("bpm:89\n" + short_square + ",0,50,100\ni2:kantti,1,0,4,1,0,0,50,-100\np1:c1\nt1:p1\nt2:p1\n");
    ptn[1][0] = note_262;
    const auto v = render(2000);
    double sm = 0;
    for (int f = 0; f < 2000; f++) {
        const double dry = f < 7 ? instr[2][f] : 0.0;
        sm = 2 * dry - sm;
        ASSERT_EQ(v[2 * f], side(0.5, sm)) << f;
    }
    EXPECT_EQ(lowpass_mem[1], 0.0f);
    EXPECT_EQ(std::fabs(lowpass_mem[2]), 2.0f);
}

TEST_F(Mix, SongWithoutPlayingChannelsIsSilentButCounts)
{
    song("bpm:89\np1:c1\nt2:p1\n");
    for (int16_t s : render(5000))
        ASSERT_EQ(s, 0);
    EXPECT_EQ(counter, 5000);
    std::vector<int16_t> v(4, 77);
    mix_frames(v.data(), 0);
    mix_frames(v.data(), -3);
    EXPECT_EQ(v, std::vector<int16_t>(4, 77));
    EXPECT_EQ(counter, 5000);
}

TEST_F(Mix, AnyChunkingGivesTheSameSound)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    const auto whole = render(40000);
    synth_start(44100);
    ASSERT_EQ(parse_builtin_song(), 0);
    std::vector<int16_t> parts;
    const int sizes[] = {1, 7, 7552, 1, 3000, 4559, 1024, 333, 2500};
    int done = 0;
    for (int k = 0; done < 40000; k++) {
        const int n = std::min(sizes[k % 9], 40000 - done);
        const auto p = render(n);
        parts.insert(parts.end(), p.begin(), p.end());
        done += n;
    }
    EXPECT_EQ(parts, whole);
}

TEST_F(Mix, CounterWrapsInaudiblyAtAMultipleOfTheEchoLine)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    const int32_t wrap = counter_wrap();
    EXPECT_EQ(wrap, 2147478480);  // 94686 * 22680, the last multiple below 2^31
    EXPECT_EQ(wrap % row_len, 0);
    // Two rows before the wrap versus two rows before the first echo line's end: the same rows
    // and echo positions, so the same sound, with the note of row 2 landing on the wrap.
    counter = wrap - 2 * 7560;
    const auto wrapped = render(6 * 7560);
    EXPECT_EQ(counter, 4 * 7560);
    synth_start(44100);
    ASSERT_EQ(parse_builtin_song(), 0);
    counter = 22680 - 2 * 7560;
    const auto plain = render(6 * 7560);
    EXPECT_EQ(counter, 7560 + 6 * 7560);
    EXPECT_EQ(wrapped, plain);
    int sounding = 0;
    for (int16_t s : plain)
        sounding += s != 0;
    EXPECT_GT(sounding, 10000);

    // At 1653 frames a row the last multiple of the echo line (4959 * 433047) is not the last
    // multiple of the row (1653 * 1299143 = 2147483379).
    synth_start(44100);
    std::string fast = "bpm:400\n";
    ASSERT_EQ(parse_song(fast.data()), 0) << song_error;
    EXPECT_EQ(counter_wrap(), 2147480073);

    // Without a song the counter wraps at the int32 limit.
    synth_start(44100);
    EXPECT_EQ(counter_wrap(), INT32_MAX);
    counter = INT32_MAX - 10;
    render(20);
    EXPECT_EQ(counter, 10);
}

#if defined(__SSE__)
TEST_F(Mix, EchoTailsFlushToZeroAndTheCallersFloatModeIsKept)
{
    song("bpm:89\n" + short_square + "\np1:0\nt1:p1,loop\n");
    echo[1].assign(echo_len, 1e-37f);  // four passes stay normal, the fifth would be denormal
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(0x1f80);  // default mode: denormals kept
    render(5 * echo_len);
    EXPECT_EQ(_mm_getcsr(), 0x1f80u);
    _mm_setcsr(csr);
    for (float e : echo[1])
        ASSERT_EQ(e, 0.0f);

    synth_start(44100);
    song("bpm:89\n" + short_square + "\np1:0\nt1:p1,loop\n");
    echo[1].assign(echo_len, 1e-37f);
    render(4 * (echo_len - 1));  // each value read three or four times: 1.3e-38 or more
    int normal = 0;
    for (float e : echo[1])
        normal += std::fpclassify(e) == FP_NORMAL;
    EXPECT_EQ(normal, echo_len);
}
#endif

}  // namespace
