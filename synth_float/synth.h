#pragma once
// intro-port's floating-point synthesizer: wave tables, instrument rendering, and the sequencer
// and stereo mixer that play the song model (song/model.h).
#include <cstdint>
#include <vector>

#include "../song/model.h"
#include "instrument.h"

namespace port {

inline constexpr int ref_hz = 262;  // pitch instruments are rendered at; a note v plays at step v / 262

extern int32_t srate;   // output samples per second, set by synth_start
extern int32_t period;  // wave period: samples in one cycle of the square, sine and saw tables (srate / 262)
extern std::vector<float> aalto[w_count];  // one cycle each of square, sine, saw; one second of noise

// Per channel (0..29; channel n plays track n with instrument slot n, channel 0 never plays):
extern float off[n_slots];          // position in the instrument buffer, in samples; negative: silent
extern float plus[n_slots];         // position step per output sample
extern float slide[n_slots];        // added to plus every output sample while sounding
extern float gain[n_slots];         // output level
extern bool eko[n_slots];           // echo line refilled from the channel while it sounds
extern int32_t ti[n_slots];         // track position; -1 before the first row, -2 after the track ended
extern int32_t pi[n_slots];         // row index within the current pattern
extern float lowpass_mem[n_slots];  // last smoothed value

// Frames produced since synth_start, wrapping to 0 at counter_wrap().
extern int32_t counter;

// Fixes the rate, builds the wave tables and puts every channel at rest, with no song to play
// (song_reset). Calling it again starts everything afresh.
void synth_start(int rate);

// Writes count interleaved (left, right) frames of the song and advances the sequencer. The one
// renderer: the audio device and offline rendering both go through it.
void mix_frames(int16_t* frames, int count);

// The largest multiple of echo_len (and so of row_len) that fits in int32; counter goes back to 0
// there, which rows and echo positions, taken modulo those lengths, cannot tell apart.
int32_t counter_wrap();

// The audio device's callback: publishes the scope (scene/scope.h), fills len / 4 stereo frames,
// then copies the buffer's first 1024 samples into the scope.
void audio_callback(void* userdata, uint8_t* stream, int len);

}  // namespace port
