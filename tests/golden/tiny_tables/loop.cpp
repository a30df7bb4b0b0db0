// A track of two patterns played round and round.
#include "tables.h"

namespace tiny {

const int32_t irec[nchan][rec_len] = {{1, w_sine, 20, 5, 10, 2000, 0, 0}, QUIET_2_TO_10};
static const uint8_t t1[] = {1, 2, c_loop};
const uint8_t* trak[nblk] = {nullptr, t1, NO_TRACKS_2_TO_10};
static const uint8_t p1[] = {n_c4, c_end};
static const uint8_t p2[] = {n_e4, n_g4, c_end};
const uint8_t* ptn[5] = {nullptr, p1, p2, nullptr, nullptr};

}  // namespace tiny
