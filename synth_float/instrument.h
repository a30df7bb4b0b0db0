#pragma once
// What the floating-point synthesizer offers the song parser: the rate it runs at and the
// rendering of one instrument line into the song model's slot buffer.
#include <cstdint>

namespace port {

enum { w_square, w_sine, w_saw, w_noise, w_count };  // `waveform` numbers

// Output samples per second once synth_start has built the wave tables; 0 before.
int32_t synth_rate();

// Renders an instrument into slot's buffer (instr[slot], allocated and zeroed by the caller):
// waveform, four envelope lengths in samples, ring modulation in hundredths of a cycle per wave
// period, pitch sweep. Never writes past the buffer.
void render_instrument(int slot, int waveform, int attack, int decay, int sustain, int release,
                       int modulation, int sweep);

}  // namespace port
