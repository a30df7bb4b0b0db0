#pragma once
// intro-tiny's synthesizer, all integer fixed point: velk_init builds the wave tables and renders
// the ten instruments once; velk_play, the audio callback, replays them through the song's tracks
// with a per-channel echo ring and mixes them into mono signed 16-bit samples.
// Builds without any library: no libc, no libm, no static constructors, no allocation.
#include <cstdint>

namespace tiny {

// ---- Sizes and fixed numbers ----
inline constexpr int blk_len = 65536;          // entries per wave table, instrument block and echo block
inline constexpr int nblk = 11;                // blocks per area; per-channel tables are indexed 1..10
inline constexpr int nchan = 10;               // channels 1..10; channel n plays track n with instrument n
inline constexpr int nnotes = 72;              // notes c1..b6
inline constexpr uint32_t wave_period = 168;   // entries per period of square, saw and sine: 44100 / 262.5 Hz
inline constexpr uint32_t row_len = 8268;      // samples per row: tempo 80 at 44100 Hz
inline constexpr uint32_t ring_len = 24804;    // echo ring entries: three rows
inline constexpr uint32_t note_end = 44100u << 16;  // 16.16 block position at which a note falls silent
inline constexpr uint32_t silent = 0xFFFFFFFF; // off value of a channel that plays nothing
inline constexpr int mix_len = 1024;           // most samples mixed in one run
inline constexpr int32_t mix_max = 98301;      // mix clamp: headroom for three full-scale sources (3 x 32767)
inline constexpr uint32_t rnd_key = 0xF31782CE;  // noise generator seed, also its add and xor constant

enum { w_square, w_sine, w_saw, w_noise };  // waveform codes, index into aalto

// Fields of an instrument record (eight signed 32-bit values).
enum { r_number, r_waveform, r_attack, r_decay, r_sustain, r_release, r_modulation, r_sweep, rec_len };

// Track and pattern bytes besides pattern numbers (1..4) and notes (1..72).
enum : uint8_t { c_empty = 0, c_stop = 0xFA, c_echo0 = 0xFB, c_echo1 = 0xFC, c_loop = 0xFD, c_end = 0xFE };

// ---- Compact song (velk_song.cpp) ----
extern const int32_t irec[nchan][rec_len];  // instrument records i1..i10, rendered in this order
inline constexpr const int32_t (&i1)[rec_len] = irec[0], (&i2)[rec_len] = irec[1], (&i3)[rec_len] = irec[2],
    (&i4)[rec_len] = irec[3], (&i5)[rec_len] = irec[4], (&i6)[rec_len] = irec[5], (&i7)[rec_len] = irec[6],
    (&i8)[rec_len] = irec[7], (&i9)[rec_len] = irec[8], (&i10)[rec_len] = irec[9];
extern const uint8_t* trak[nblk];  // track of each channel: pattern numbers closed by c_loop or c_end; [0] null
extern const uint8_t* ptn[5];      // patterns by number: row bytes closed by c_end; [0] null
extern uint16_t notei[nnotes];     // note frequencies in Hz, entry n-1 for note n; 60..71 given, 0..59 derived

// ---- Tables built by velk_init ----
extern int32_t aalto[nblk][blk_len];  // wave tables by waveform code: square, sine, saw (168-entry period), noise
extern int32_t instr[nblk][blk_len];  // rendered instrument n in block n at the reference pitch, zeros after

// ---- Start-up state that velk_reset (tests, capture) puts back before velk_init runs again ----
extern uint32_t rndi;      // noise generator state
extern double f_tmp;       // running sine table angle, radians

// ---- Sequencer and mixer state, owned by the audio thread once playback starts ----
extern uint32_t counter;      // samples produced since the start, over all calls; drives rows and echo
extern int32_t ti[nblk];      // track position per channel: -1 not started, -2 ended
extern int32_t pi[nblk];      // row within the current pattern, per channel
extern uint32_t off[nblk];    // play position in the channel's block, unsigned 16.16; 0xFFFFFFFF = silent
extern uint32_t plus[nblk];   // play position increment per sample, unsigned 16.16
extern int32_t eko[nblk];     // echo switch per channel: nonzero = on
extern int32_t echo[nblk][blk_len];  // echo ring of channel n: the first ring_len entries of block n

// ---- Functions ----
void velk_init();               // note table, wave tables, the ten instruments; once, before playback
void adsr(const int32_t* rec);  // renders one instrument record into the block its number names
void velk_play(void* userdata, uint8_t* stream, int len);  // audio callback: len/2 samples, then publishes smp
int32_t* ekou(int ch, uint32_t count);  // channel ch's echo ring entry for sample count

}  // namespace tiny
