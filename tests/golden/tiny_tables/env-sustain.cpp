// A short attack, then 2000 samples held at the peak, c4.
#include "tables.h"

namespace tiny {

const int32_t irec[nchan][rec_len] = {{1, w_sine, 100, 0, 2000, 1, 0, 0}, QUIET_2_TO_10};
static const uint8_t t1[] = {1, c_end};
const uint8_t* trak[nblk] = {nullptr, t1, NO_TRACKS_2_TO_10};
static const uint8_t p1[] = {n_c4, c_end};
const uint8_t* ptn[5] = {nullptr, p1, nullptr, nullptr, nullptr};

}  // namespace tiny
