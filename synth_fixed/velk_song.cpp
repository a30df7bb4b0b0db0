// The song in its compact form: ten instrument records, five tracks, four patterns and the top
// octave of the note table, ready in static data so nothing is parsed at run time.
#include "velk_tiny.h"

namespace tiny {

// i1..i10: number, waveform, attack, decay, sustain, release, modulation, sweep
const int32_t irec[nchan][rec_len] = {
    {1, w_sine, 2, 12, 1, 4000, 0, -60},
    {2, w_noise, 2, 6, 1, 5600, 0, 0},
    {3, w_saw, 2, 4, 1, 10000, 1299, 0},
    {4, w_square, 2, 3, 1, 2000, 0, 4},
    {5, w_noise, 2, 4, 1, 20000, 0, -20},
    {6, w_sine, 2, 5, 1, 6000, 0, -7},
    {7, w_square, 2, 4, 1, 2000, 0, 0},
    {8, w_saw, 2, 4, 1, 40000, 0, 0},
    {9, w_sine, 2, 10, 1, 6000, 100, 0},
    {10, w_square, 2, 3, 1, 2000, 1555, 4},
};

// Tracks: pattern numbers, then the loop marker.
// t1: empty step, echo on, then nineteen passes of the c1 pattern (363 rows).
static const uint8_t t1[] = {1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, c_loop};
// t2: empty step, 15 x echo on, 6 x c1, 8 x the g figure (186 rows).
static const uint8_t t2[] = {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                             3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, c_loop};
// t3: empty step, 15 x echo on, 5 x c1, 11 x g figure, 7 x c1, 8 x g figure (377 rows).
static const uint8_t t3[] = {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                             3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
                             3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, c_loop};
// t4, t5: echo on and nothing else.
static const uint8_t t4[] = {2, c_loop};
static const uint8_t t5[] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, c_loop};

// Channels 6 to 10 share track 1, each on its own instrument.
const uint8_t* trak[nblk] = {nullptr, t1, t2, t3, t4, t5, t1, t1, t1, t1, t1};

// Patterns: one byte per row, closed by the end marker.
static const uint8_t p1[] = {c_empty, c_end};
static const uint8_t p2[] = {c_echo1, c_end};
static const uint8_t p3[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, c_end};  // c1, 18 empty
static const uint8_t p4[] = {44, 0, 20, 56, 0, 0, 56, c_end};  // g4, -, g2, g5, -, -, g5

const uint8_t* ptn[5] = {nullptr, p1, p2, p3, p4};

// Octave 6 (c6..b6); velk_init derives the five below it.
uint16_t notei[nnotes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1047, 1109, 1175, 1245, 1319, 1397, 1480, 1568, 1661, 1760, 1864, 1976,
};

}  // namespace tiny
