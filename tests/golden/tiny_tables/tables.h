#pragma once
// What every feature's tables share: the records and tracks of the channels a feature leaves
// silent. Each feature's source defines irec, trak and ptn as synth_fixed/velk_song.cpp does, and
// is linked in its place into that feature's golden program (tests/golden/CMakeLists.txt).
#include "velk_tiny.h"

// A record rendered but never played: one sample of attack, one of release.
#define QUIET(n) {n, w_square, 1, 0, 0, 1, 0, 0}
#define QUIET_2_TO_10 QUIET(2), QUIET(3), QUIET(4), QUIET(5), QUIET(6), QUIET(7), QUIET(8), QUIET(9), QUIET(10)

namespace tiny {

// Note bytes of the patterns: note n of the table is byte n + 1 (c1 is 1, c4 37, b6 72).
enum : uint8_t { n_c3 = 25, n_c4 = 37, n_e4 = 41, n_g4 = 44, n_a4 = 46 };

extern const uint8_t no_track[];  // a track that ends at once: the channel never plays

}  // namespace tiny

// Tracks 2 to 10 silent.
#define NO_TRACKS_2_TO_10 no_track, no_track, no_track, no_track, no_track, no_track, no_track, no_track, no_track
