#pragma once
// The song model the port synthesizer plays: tempo, instruments, patterns, tracks and the note
// table. The text parser (song.h) fills it; the synthesizer (synth_float/synth.h) reads it.
#include <cstdint>
#include <vector>

namespace port {

inline constexpr int n_slots = 30;    // instrument slots, tracks and channels: numbers 0..29
inline constexpr int n_ptn = 1000;    // patterns: numbers 0..999
inline constexpr int n_entry = 100;   // slots per pattern or track: up to 99 entries and the end marker
inline constexpr int n_notes = 72;    // c1..b6
inline constexpr int n_names = 78;    // the notes, the five commands and the final "0"

// Entry codes in patterns and tracks. Notes are positive (their frequency in Hz); 0 is an empty step.
enum : int32_t {
    e_end = -2,    // end of a pattern or track
    e_loop = -3,   // track: back to its first entry
    e_echo1 = -4,  // echo on
    e_echo0 = -5,  // echo off
    e_stop = -6,   // silence the channel at once
    e_vol = -7,    // next slot: gain in hundredths
    e_sld = -8,    // next slot: slide in hundred-thousandths of a step per sample
};

extern int32_t row_len;                 // output samples per row; 0 until a "bpm" line is read
extern int32_t echo_len;                // samples in every echo line: 3 rows
extern std::vector<float> instr[n_slots];  // rendered instrument per slot, instr_len samples; empty until its line
extern int32_t instr_len[n_slots];      // attack + decay + sustain + release + 1, in samples; 0 = no instrument
extern float pan[n_slots];              // left share of the channel's output, 0..1
extern float lowpass[n_slots];          // smoothing coefficient; 0 = off
extern std::vector<float> echo[n_slots];   // delay line per slot, echo_len samples
extern int32_t ptn[n_ptn][n_entry];     // pattern entries in row order, then e_end; a pattern without a line holds only e_end
extern int32_t trak[n_slots][n_entry];  // pattern numbers and e_loop, then e_end
extern const int32_t notei[n_names];    // value of each keyword of note_names, index for index: Hz of c1..b6, then the command codes and 0
extern const char* const note_names[n_names];  // the keywords of the pattern language

// Back to the state before any song: no tempo, no instruments, every pattern and track holding
// only the end marker, every slot at pan 0.5 and lowpass 0.
void song_reset();

// Number of playing channels: channels 1, 2, ... up to, not including, the first whose track is
// empty, and never past 29. 0 makes the song silent.
int playing_channels();

}  // namespace port
