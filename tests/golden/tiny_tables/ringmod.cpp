// A saw ring-modulated at 1299/103 sine entries per sample.
#include "tables.h"

namespace tiny {

const int32_t irec[nchan][rec_len] = {{1, w_saw, 20, 5, 10, 3000, 1299, 0}, QUIET_2_TO_10};
static const uint8_t t1[] = {1, c_end};
const uint8_t* trak[nblk] = {nullptr, t1, NO_TRACKS_2_TO_10};
static const uint8_t p1[] = {n_c4, c_end};
const uint8_t* ptn[5] = {nullptr, p1, nullptr, nullptr, nullptr};

}  // namespace tiny
