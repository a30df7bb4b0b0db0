// The sequencer and stereo mixer: rows through tracks and patterns, instruments replayed at note
// pitch through each channel's echo line, smoothing, gain and pan.
#include <algorithm>
#include <climits>
#include <cmath>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "synth.h"

namespace port {

namespace {

constexpr double full_scale = 3.0;    // sums are clamped to +-3.0 ...
constexpr double out_scale = 10922;   // ... and scaled to +-32766
constexpr double echo_keep = 0.6;     // share of the delayed signal recirculated each pass
constexpr double echo_feed = 0.2;     // share of (delayed + dry) written while echo is on
constexpr int block = 1024;           // frames mixed per pass over the channels

// One row of channel c: the next entry of its pattern, or the first of the track's next pattern.
void row_step(int c)
{
    if (ti[c] == -2)
        return;
    int next = pi[c] + 1;
    if (ti[c] != -1 && ptn[trak[c][ti[c]]][next] != e_end) {
        pi[c] = next;
    } else {
        ti[c] = trak[c][ti[c] + 1] == e_loop ? 0 : ti[c] + 1;
        if (trak[c][ti[c]] == e_end)
            ti[c] = -2;
        pi[c] = 0;
        if (ti[c] == -2)
            return;
    }
    const int32_t* p = ptn[trak[c][ti[c]]];
    int32_t v = p[pi[c]];
    switch (v) {
    case 0:
        break;
    case e_echo1:
        eko[c] = true;
        break;
    case e_echo0:
        eko[c] = false;
        break;
    case e_stop:
        off[c] = -1.0f;
        break;
    case e_vol:
        gain[c] = (float)(p[++pi[c]] / 100.0);
        break;
    case e_sld:
        slide[c] = (float)(p[++pi[c]] / 100000.0);
        break;
    default:  // a note: restart the instrument at its pitch; a slot without one stays silent
        off[c] = instr_len[c] > 0 ? 0.0f : -1.0f;
        plus[c] = (float)v / ref_hz;
        break;
    }
}

// Adds channel c to n frames of sums, the first frame writing echo position w. Channels are added
// in rising order, so each frame's sums are formed in the same order frame by frame.
void mix_channel(int c, int32_t w, int n, double* left, double* right)
{
    float* e = echo[c].data();
    const float* in = instr[c].data();
    const int32_t el = echo_len;
    const float len = (float)instr_len[c];
    const float lp = lowpass[c];
    const double g = gain[c];
    const double pl = pan[c];
    const double pr = 1.0 - pan[c];
    const bool ek = eko[c];
    const float sl = slide[c];
    float o = off[c];
    float p = plus[c];
    float mem = lowpass_mem[c];

    int i = 0;
    while (i < n) {
        // Frames before the echo read position wraps: there it is simply w + 1 (a delay of
        // echo_len - 1 samples).
        const int run = std::min(n - i, el - 1 - w);
        if (run > 0 && o < 0 && lp == 0) {
            // Silent and unsmoothed: the line recirculates and its delayed signal goes out. The
            // same arithmetic as a sounding frame, in a loop the compiler can vectorise.
            float* d = e + w;
            double* lt = left + i;
            double* rt = right + i;
            for (int k = 0; k < run; k++) {
                const float rd = d[k + 1];
                d[k] = (float)(echo_keep * rd);
                const double out = (double)rd * g;
                lt[k] += pl * out;
                rt[k] += pr * out;
            }
            mem = d[run];
            i += run;
            w += run;
            continue;
        }
        if (run > 0 && lp == 0) {
            // Sounding and unsmoothed, frame by frame until the position leaves the buffer.
            const double fb = ek ? echo_feed : echo_keep;
            int k = 0;
            double dry = 0;
            while (k < run) {
                const float rd = e[w + k + 1];
                dry = (double)rd + in[(int)o];
                e[w + k] = (float)(fb * (ek ? dry : (double)rd));
                const double out = dry * g;
                left[i + k] += pl * out;
                right[i + k] += pr * out;
                k++;
                const float nw = o + p;
                p += sl;
                if (nw >= len || nw < 0) {  // left the buffer: silent from the next frame
                    o = -1.0f;
                    break;
                }
                o = nw;
            }
            mem = (float)dry;
            i += k;
            w += k;
            continue;
        }
        // Frame by frame while the channel is smoothed, and at the wrap of the line.
        const int stop = i + std::max(run, 1);
        do {
            const int32_t r = w + 1 == el ? 0 : w + 1;
            const float rd = e[r];
            e[w] = (float)(echo_keep * rd);
            double dry = rd;
            if (o >= 0) {
                dry = (double)rd + in[(int)o];
                if (ek)
                    e[w] = (float)(echo_feed * dry);
                const float nw = o + p;
                p += sl;
                o = nw >= len || nw < 0 ? -1.0f : nw;
            }
            double sm = dry;
            if (lp != 0)
                sm = (1.0 - lp) * dry + (double)lp * mem;
            mem = (float)sm;
            const double out = sm * g;
            left[i] += pl * out;
            right[i] += pr * out;
            w = r;
            i++;
        } while (i < stop && (o >= 0 || lp != 0));
    }
    off[c] = o;
    plus[c] = p;
    lowpass_mem[c] = mem;
}

inline int16_t scale(double s)
{
    return (int16_t)(std::clamp(s, -full_scale, full_scale) * out_scale);
}

}  // namespace

int32_t counter_wrap()
{
    return echo_len > 0 ? INT32_MAX / echo_len * echo_len : INT32_MAX;
}

void mix_frames(int16_t* frames, int count)
{
    if (count < 1)
        return;
#if defined(__SSE__)
    // Echo tails shrink by 0.6 a pass into the float denormal range, where arithmetic is slow and
    // 0.6 of the smallest value rounds back to itself, so a silent line would never come to rest.
    // Flush them to zero while mixing, live and offline alike, and give the caller its mode back.
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040);  // flush-to-zero | denormals-are-zero
#endif
    const int32_t wrap = counter_wrap();
    if (counter < 0 || counter >= wrap)
        counter = 0;
    const int np = playing_channels();
    double left[block], right[block];

    while (count > 0) {
        int n = std::min(count, block);
        if (np > 0) {
            // Sequencer: a row starts every row_len frames, from the very first one. A block never
            // crosses a row start, and the wrap is a row start too.
            const int32_t rp = counter % row_len;
            if (rp == 0)
                for (int c = 1; c <= np; c++)
                    row_step(c);
            n = std::min(n, row_len - rp);
            std::fill(left, left + n, 0.0);
            std::fill(right, right + n, 0.0);
            const int32_t w = counter % echo_len;
            for (int c = 1; c <= np; c++)
                mix_channel(c, w, n, left, right);
            for (int i = 0; i < n; i++) {
                frames[2 * i + 1] = scale(right[i]);
                frames[2 * i] = scale(left[i]);
            }
        } else {
            std::fill(frames, frames + 2 * n, int16_t(0));
        }
        frames += 2 * n;
        count -= n;
        const int64_t next = (int64_t)counter + n;
        counter = (int32_t)(next >= wrap ? next - wrap : next);
    }
#if defined(__SSE__)
    _mm_setcsr(csr);
#endif
}

}  // namespace port
