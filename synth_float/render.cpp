// Instrument rendering: a table oscillator at the reference pitch with a four-phase linear
// envelope, optional ring modulation by a sine and an optional linear pitch sweep.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "synth.h"

namespace port {

namespace {

// Table index of phase ii for a table of t samples, taken into 0 .. t-1 also while the phase runs
// backward (a sweep can reverse it) and however far it has run.
inline int phase_index(float ii, int t)
{
    int k;
    if (ii > -1e9f && ii < 1e9f)
        k = (int)ii % t;
    else
        k = (int)std::fmod((double)ii, (double)t);
    return k < 0 ? k + t : k;
}

}  // namespace

void render_instrument(int slot, int waveform, int attack, int decay, int sustain, int release,
                       int modulation, int sweep)
{
    if (slot < 0 || slot >= n_slots || waveform < 0 || waveform >= w_count || period <= 0)
        return;
    const std::vector<float>& tab = aalto[waveform];
    const int t = (int)tab.size();
    float* out = instr[slot].data();
    // The steps below may number one more than the buffer holds (attack and release both 0):
    // writing stops at the buffer's end.
    const int64_t len = (int64_t)instr[slot].size();

    const int a1 = attack ? attack : 1;
    const int r1 = release ? release : 1;
    float vol = 0;
    float dv = 1.0f / a1;
    float ii = 0;
    float iip = 1.0f;
    const float swp = (float)(sweep / 1000.0 / period);
    float mod_phase = 0;
    const float mod_step = modulation ? (float)(2 * std::numbers::pi * (modulation / 100.0) / period) : 0.0f;

    // attack, decay, sustain, release
    const int steps[4] = {a1, std::max(decay, 0), std::max(sustain, 0), r1};
    int64_t n = 0;
    for (int ph = 0; ph < 4; ph++) {
        if (ph == 3)
            dv = vol / r1;
        const float d = ph == 0 ? dv : ph == 2 ? 0.0f : -dv;
        for (int k = 0; k < steps[ph] && n < len; k++) {
            double s = (double)vol * tab[phase_index(ii, t)];
            if (modulation)
                s *= std::sin((double)mod_phase);
            out[n++] = (float)s;
            ii += iip;
            iip += swp;
            vol += d;
            mod_phase += mod_step;
        }
    }
}

}  // namespace port
