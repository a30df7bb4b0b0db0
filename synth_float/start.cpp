// Start-up of the float synthesizer: rate, wave tables, channels at rest.
#include <cmath>
#include <numbers>

#include "synth.h"

namespace port {

int32_t srate;
int32_t period;
std::vector<float> aalto[w_count];

float off[n_slots];
float plus[n_slots];
float slide[n_slots];
float gain[n_slots];
bool eko[n_slots];
int32_t ti[n_slots];
int32_t pi[n_slots];
float lowpass_mem[n_slots];
int32_t counter;

namespace {

// The noise generator: the classic 15-bit linear congruential one, seeded with 1. It is private
// so that nothing else in the process (SDL or the GL driver may draw from the C library's rand)
// can shift the sequence: every run, live or offline, gets the same noise.
uint32_t noise_state;

int noise_next()
{
    noise_state = noise_state * 1103515245u + 12345u;
    return (int)((noise_state >> 16) & 0x7fff);
}

// One of the noise table's 2000 values, each equally likely: a draw in the incomplete last run
// of 2000 (32000 .. 32767) would favour 0 .. 767, so it is drawn again.
int noise_pick()
{
    constexpr int runs_end = 32768 / 2000 * 2000;
    int r;
    do
        r = noise_next();
    while (r >= runs_end);
    return r % 2000;
}

}  // namespace

int32_t synth_rate() { return aalto[w_square].empty() ? 0 : srate; }

void synth_start(int rate)
{
    srate = rate;
    counter = 0;
    period = rate / ref_hz;

    for (auto& t : aalto)
        t.assign(period, 0.0f);
    aalto[w_noise].assign(rate > 0 ? rate : 0, 0.0f);
    const double tau = 2 * std::numbers::pi;
    for (int k = 0; k < period; k++) {
        aalto[w_square][k] = k < period / 2 ? -1.0f : 1.0f;
        aalto[w_sine][k] = (float)std::sin(tau * k / period);
        aalto[w_saw][k] = (float)(std::fmod(2.0 * k / period + 1, 2) - 1);
    }
    // -1.0 .. 0.999 in steps of 0.001
    noise_state = 1;
    for (int k = 0; k < rate; k++)
        aalto[w_noise][k] = (float)((noise_pick() - 1000) / 1000.0);

    // A synthesizer started afresh has no song to play until one is read.
    song_reset();
    for (int c = 0; c < n_slots; c++) {
        off[c] = -1.0f;
        plus[c] = 0;
        slide[c] = 0;
        gain[c] = 1.0f;
        eko[c] = false;
        ti[c] = -1;
        pi[c] = 0;
        lowpass_mem[c] = 0;
    }
}

}  // namespace port
