// Every note byte once, in table order, then echo on, echo off and stop: each plays its pitch.
#include "tables.h"

namespace tiny {

const int32_t irec[nchan][rec_len] = {{1, w_saw, 20, 5, 10, 400, 0, 0}, QUIET_2_TO_10};
static const uint8_t t1[] = {1, c_end};
const uint8_t* trak[nblk] = {nullptr, t1, NO_TRACKS_2_TO_10};
static const uint8_t p1[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
                             19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36,
                             37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54,
                             55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72,
                             c_echo1, c_echo0, c_stop, c_end};
const uint8_t* ptn[5] = {nullptr, p1, nullptr, nullptr, nullptr};

}  // namespace tiny
