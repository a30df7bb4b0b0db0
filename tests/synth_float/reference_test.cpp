// The block mixer against a plain frame-by-frame reference of the sequencer and mixer: the same
// song model must give the same 16-bit frames, whatever the buffer sizes, and leave the same
// channel state and echo lines behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "../../song/song.h"
#include "../../synth_float/synth.h"

using namespace port;

namespace {

// ---- Reference: one frame at a time, straight from the algorithm ----

struct ref_chan {
    float off = -1.0f;  // position in the instrument buffer; negative: silent
    float plus = 0;
    float slide = 0;
    float gain = 1.0f;
    bool eko = false;
    int32_t ti = -1;
    int32_t pi = 0;
    float mem = 0;            // lowpass memory
    std::vector<float> line;  // echo line, echo_len samples
};

struct ref_synth {
    ref_chan ch[n_slots];
    int32_t counter = 0;
};

// Channels at rest, echo lines silent, for the song currently in the model.
void ref_start(ref_synth& r)
{
    r = ref_synth{};
    for (auto& c : r.ch)
        c.line.assign(echo_len, 0.0f);
}

int ref_playing()
{
    int n = 0;
    while (n + 1 < n_slots && trak[n + 1][0] != e_end)
        n++;
    return n;
}

// Where the frame count goes back to 0: the last whole number of echo lines below 2^31, so that
// the echo positions, and the rows, carry on across it as if it were not there.
int32_t ref_wrap()
{
    return INT32_MAX - INT32_MAX % echo_len;
}

void ref_row(ref_synth& r, int n)
{
    ref_chan& c = r.ch[n];
    if (c.ti == -2)
        return;
    const int32_t next = c.pi + 1;
    if (c.ti != -1 && ptn[trak[n][c.ti]][next] != e_end) {
        c.pi = next;
    } else {
        if (trak[n][c.ti + 1] == e_loop)
            c.ti = 0;
        else
            c.ti = c.ti + 1;
        if (trak[n][c.ti] == e_end)
            c.ti = -2;
        c.pi = 0;
        if (c.ti == -2)
            return;
    }
    const int32_t* p = ptn[trak[n][c.ti]];
    const int32_t v = p[c.pi];
    if (v == 0) {
    } else if (v == e_echo1) {
        c.eko = true;
    } else if (v == e_echo0) {
        c.eko = false;
    } else if (v == e_stop) {
        c.off = -1.0f;
    } else if (v == e_vol) {
        c.pi += 1;
        c.gain = (float)(p[c.pi] / 100.0);
    } else if (v == e_sld) {
        c.pi += 1;
        c.slide = (float)(p[c.pi] / 100000.0);
    } else {
        // A slot without an instrument has nothing to play: the note stays silent.
        c.off = instr_len[n] > 0 ? 0.0f : -1.0f;
        c.plus = (float)v / 262;
    }
}

int16_t ref_out(double s)
{
    if (s > 3.0)
        s = 3.0;
    if (s < -3.0)
        s = -3.0;
    return (int16_t)std::trunc(s * 10922);
}

// One frame into lr[0] (left) and lr[1] (right). Values are stored as float, products and sums
// formed in double.
void ref_frame(ref_synth& r, int16_t* lr)
{
    const int np = ref_playing();
    if (np > 0 && r.counter % row_len == 0)
        for (int n = 1; n <= np; n++)
            ref_row(r, n);
    double left = 0, right = 0;
    for (int n = 1; n <= np; n++) {
        ref_chan& c = r.ch[n];
        const float read = c.line[(r.counter + 1) % echo_len];
        const int32_t w = r.counter % echo_len;
        c.line[w] = (float)(0.6 * read);
        double dry = read;
        if (c.off >= 0) {
            dry = (double)read + instr[n][(int)c.off];
            if (c.eko)
                c.line[w] = (float)(0.2 * dry);
            const float nw = c.off + c.plus;
            c.plus = c.plus + c.slide;
            if (nw >= instr_len[n] || nw < 0)
                c.off = -1.0f;
            else
                c.off = nw;
        }
        double smoothed = dry;
        if (lowpass[n] != 0)
            smoothed = (1.0 - lowpass[n]) * dry + (double)lowpass[n] * c.mem;
        c.mem = (float)smoothed;
        const double out = smoothed * c.gain;
        left += pan[n] * out;
        right += (1.0 - pan[n]) * out;
    }
    lr[1] = ref_out(right);
    lr[0] = ref_out(left);
    r.counter += 1;
    if (r.counter == ref_wrap())
        r.counter = 0;
}

// The mixer's float mode: denormals flushed to zero and read as zero while mixing.
struct flush_denormals {
#if defined(__SSE__)
    unsigned saved = _mm_getcsr();
    flush_denormals() { _mm_setcsr(saved | 0x8040); }
    ~flush_denormals() { _mm_setcsr(saved); }
#endif
};

void ref_frames(ref_synth& r, int16_t* out, int n)
{
    [[maybe_unused]] flush_denormals guard;  // empty where there is no SSE (wasm)
    for (int i = 0; i < n; i++)
        ref_frame(r, out + 2 * i);
}

// ---- Comparison ----

struct outcome {
    int64_t first = -1;     // first frame that differs, -1 for none
    int16_t got[2] = {}, want[2] = {};
    int64_t sounding = 0;   // frames with a nonzero sample
    int64_t clamped = 0;    // samples at full scale
};

std::string describe(const outcome& o)
{
    return "first differing frame " + std::to_string(o.first) + ": mix_frames (" +
           std::to_string(o.got[0]) + ", " + std::to_string(o.got[1]) + "), reference (" +
           std::to_string(o.want[0]) + ", " + std::to_string(o.want[1]) + ")";
}

// Renders frames through mix_frames in buffers of the given sizes, taken in turn, and through
// the reference; stops at the first frame that differs.
outcome compare(ref_synth& r, int64_t frames, const std::vector<int>& sizes)
{
    outcome o;
    std::vector<int16_t> got, want;
    int64_t done = 0;
    for (size_t k = 0; done < frames; k++) {
        const int n = (int)std::min<int64_t>(sizes[k % sizes.size()], frames - done);
        got.assign(2 * n, 0x5a5a);
        want.assign(2 * n, 0);
        mix_frames(got.data(), n);
        ref_frames(r, want.data(), n);
        for (int i = 0; i < n; i++) {
            const int16_t* g = &got[2 * i];
            const int16_t* w = &want[2 * i];
            if (g[0] != w[0] || g[1] != w[1]) {
                o.first = done + i;
                std::copy(g, g + 2, o.got);
                std::copy(w, w + 2, o.want);
                return o;
            }
            o.sounding += g[0] != 0 || g[1] != 0;
            o.clamped += (std::abs(g[0]) == 32766) + (std::abs(g[1]) == 32766);
        }
        done += n;
    }
    return o;
}

// After the same frames the block mixer and the reference hold the same state, echo lines included.
void expect_same_state(const ref_synth& r)
{
    EXPECT_EQ(counter, r.counter);
    for (int n = 1; n < n_slots; n++) {
        const ref_chan& c = r.ch[n];
        EXPECT_EQ(off[n], c.off) << "channel " << n;
        EXPECT_EQ(plus[n], c.plus) << "channel " << n;
        EXPECT_EQ(slide[n], c.slide) << "channel " << n;
        EXPECT_EQ(gain[n], c.gain) << "channel " << n;
        EXPECT_EQ(eko[n], c.eko) << "channel " << n;
        EXPECT_EQ(ti[n], c.ti) << "channel " << n;
        EXPECT_EQ(pi[n], c.pi) << "channel " << n;
        EXPECT_EQ(lowpass_mem[n], c.mem) << "channel " << n;
        if (!echo[n].empty()) {
            EXPECT_TRUE(echo[n] == c.line) << "echo line of channel " << n;
        }
    }
}

const std::vector<int> uneven = {1024, 1, 4093, 7559, 17, 2048, 12000, 3, 777};

constexpr int64_t song_frames = 116 * 44100;  // the intro's length

class Reference : public ::testing::Test {
protected:
    void SetUp() override { synth_start(44100); }

    // Parses a small song, then plays it both ways for the given frames.
    outcome play(const std::string& song, int64_t frames)
    {
        text = song;
        EXPECT_EQ(parse_song(text.data()), 0) << song_error;
        ref_start(ref);
        const outcome o = compare(ref, frames, uneven);
        EXPECT_EQ(o.first, -1) << describe(o);
        expect_same_state(ref);
        return o;
    }

    std::string text;
    ref_synth ref;
};

// Short rows keep the small songs short: tempo 400 gives 1653 frames a row.
const std::string fast = "bpm:400\n";
constexpr int row = 1653;

TEST_F(Reference, WholeBuiltInSong)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    ref_start(ref);
    const outcome o = compare(ref, song_frames, uneven);
    EXPECT_EQ(o.first, -1) << describe(o);
    expect_same_state(ref);
    EXPECT_GT(o.sounding, song_frames / 2);
    EXPECT_GT(o.clamped, 0);
}

TEST_F(Reference, BuiltInSongAcrossTheCounterWrap)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    ref_start(ref);
    counter = ref_wrap() - 4 * row_len;
    ref.counter = counter;
    const outcome o = compare(ref, 40 * row_len, uneven);
    EXPECT_EQ(o.first, -1) << describe(o);
    expect_same_state(ref);
    EXPECT_EQ(counter, 36 * row_len);
    EXPECT_GT(o.sounding, 0);
}

TEST_F(Reference, EchoingSongAcrossTheCounterWrap)
{
    // At 1653 frames a row the last multiple of the echo line below 2^31 (2147480073) is not the
    // last multiple of the row (2147483379): the wrap must fall on the former, or the echo
    // lines would jump.
    text = fast + "i1:saha,2,4,1,3000,0,0\ni2:kantti,2,3,1,1200,0,0,80\n"
                  "p1:echo1,c3,0,0,e3,0,0\np2:echo1,g2,0,stop,0\nt1:p1,loop\nt2:p2,loop\n";
    ASSERT_EQ(parse_song(text.data()), 0) << song_error;
    ASSERT_EQ(row_len, row);
    ASSERT_EQ(ref_wrap(), 2147480073);
    ref_start(ref);
    counter = ref_wrap() - 5 * row;
    ref.counter = counter;
    const outcome o = compare(ref, 12 * row, uneven);
    EXPECT_EQ(o.first, -1) << describe(o);
    expect_same_state(ref);
    EXPECT_EQ(counter, 7 * row);
    EXPECT_GT(o.sounding, 6 * row);
}

TEST_F(Reference, PanAndLowpass)
{
    const outcome o = play(fast +
                               "i1:saha,2,4,1,3000,0,0,25,60\n"
                               "i2:sini,2,6,1,2000,100,0,90\n"
                               "i3:kantti,2,3,1,1500,0,4,0,95\n"
                               "p1:c3,0,e3,0\np2:g4,0,0,a2\np3:c5,0,c2,echo1,0\n"
                               "t1:p1,loop\nt2:p2,p1,loop\nt3:p3,loop\n",
                           30 * row);
    EXPECT_EQ(pan[1], 0.25f);
    EXPECT_EQ(lowpass[3], 0.95f);
    EXPECT_GT(o.sounding, 10 * row);
}

TEST_F(Reference, Vol)
{
    const outcome o =
        play(fast + "i1:saha,2,4,1,3000,0,0\np1:vol,150,c3,vol,40,e3,vol,-80,g3,vol,0,c4,vol,100,c2\n"
                    "t1:p1,loop\n",
             21 * row);
    EXPECT_EQ(gain[1], 1.5f);  // row 20: the first row of the third pass
    EXPECT_GT(o.sounding, 5 * row);
}

TEST_F(Reference, SlideUpAndDown)
{
    const outcome o = play(fast + "i1:sini,2,4,1,6000,0,0\np1:sld,200,c3,0,0,sld,-3000,c4,0,0,sld,0,c2,0\n"
                                  "t1:p1,loop\n",
                           42 * row);
    EXPECT_EQ(slide[1], 0.0f);  // row 41: "sld,0" of the fourth pass
    EXPECT_GT(o.sounding, 5 * row);

    // A steep negative slide runs the position back below zero within the row.
    synth_start(44100);
    play(fast + "i1:kantti,2,3,1,20000,0,0\np1:c4,sld,-5000,c5,0\nt1:p1,loop\n", 10 * row);
    EXPECT_EQ(slide[1], -0.05f);
}

TEST_F(Reference, Stop)
{
    const outcome o = play(fast + "i1:kantti,2,3,1,20000,0,0\ni2:saha,2,4,1,9000,0,0,70\n"
                                  "p1:echo1,c3,0,stop,0,0,c4,stop,0,0,0,0\np2:c2,0,0,0,stop,stop\n"
                                  "t1:p1,loop\nt2:p2,loop\n",
                           40 * row);
    EXPECT_GT(o.sounding, 5 * row);
}

TEST_F(Reference, EchoOnAndOff)
{
    const outcome o = play(fast + "i1:saha,2,4,1,5000,0,0\ni2:sini,2,5,1,5000,0,0,30\n"
                                  "p1:echo1,c3,0,echo0,0,c4,echo1,0,0,echo0,0,0\n"
                                  "p2:c4,echo1,echo0,e3,echo1,0\n"
                                  "t1:p1,loop\nt2:p2,loop\n",
                           40 * row);
    EXPECT_GT(o.sounding, 10 * row);
}

TEST_F(Reference, TrackEndsWithoutLoop)
{
    // Channel 1 takes three rows, then lets its note and its echo play out.
    const outcome o = play(fast + "i1:saha,2,4,1,9000,0,0\ni2:kantti,2,3,1,2000,0,0\n"
                                  "p1:echo1,c3\np2:e4\np3:0,g3,0,0,0,0,0\n"
                                  "t1:p1,p2\nt2:p3,loop\n",
                           20 * row);
    EXPECT_EQ(ti[1], -2);
    EXPECT_GT(o.sounding, 15 * row);
}

TEST_F(Reference, PatternEndingInACommandWithArgument)
{
    const outcome o = play(fast + "i1:saha,2,4,1,3000,0,0\n"
                                  "p1:c3,vol,50\np2:c4,sld,-100\np3:e3,0,sld,0\np4:vol,120\n"
                                  "t1:p1,p2,p3,p4,loop\n",
                           30 * row);
    EXPECT_GT(o.sounding, 5 * row);
}

TEST_F(Reference, ChannelsClampTogether)
{
    // Five level-one squares at gain 2: half of each on either side sums to 5.
    std::string s = fast;
    for (int n = 1; n <= 5; n++)
        s.append("i").append(std::to_string(n)).append(":kantti,1,0,5000,1,0\n");
    s += "p1:vol,200,c4,0,c3,0\np2:vol,200,0,c4,0,g3\n";
    s += "t1:p1,loop\nt2:p2,loop\nt3:p1,loop\nt4:p2,loop\nt5:p1,loop\n";
    const outcome o = play(s, 20 * row);
    EXPECT_GT(o.clamped, 1000);
}

}  // namespace
