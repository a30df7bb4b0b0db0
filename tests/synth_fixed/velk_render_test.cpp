// Instrument rendering, seen in the blocks it fills: first samples, levels, the block's bounds.
// Whole renders of each envelope stage, sweep and modulation are pinned in tests/golden.
#include "velk_fixture.h"

using namespace tiny;

using Render = Velk;

TEST_F(Render, Instrument1SineWithDeepDecayAndDownwardSweep) {
    adsr(i1);
    const int32_t first[6] = {0, 305, 1223, 916, 0, -1523};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(instr[1][k], first[k]) << "sample " << k;
    // Third release sample: sine entry 17 (19458) at vol -0xA00000 + 2 x 2621, whose >> 10 is
    // odd; past 16 bits, which the mixer's headroom takes.
    EXPECT_EQ(instr[1][17], -48598);
    // 2 + 12 + 1 + 4000 samples, the last still sounding (the release ends near zero, not at it)
    EXPECT_NE(instr[1][4014], 0);
    for (int k = 4015; k < blk_len; ++k) ASSERT_EQ(instr[1][k], 0) << "sample " << k;
}

TEST_F(Render, Instrument9RingModulatedSine) {
    adsr(i9);
    const int32_t first[6] = {0, 0, 68, 91, 0, -272};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(instr[9][k], first[k]) << "sample " << k;
}

// At the peak an unmodulated square gives (32767 x 2048 >> 11) x 2047 >> 12 and its negative
// floored: the unmodulated scale is 2047/4096.
TEST_F(Render, UnmodulatedSquareAtPeak) {
    const int32_t held[rec_len] = {7, w_square, 2, 0, 200, 0, 0, 0};
    adsr(held);
    EXPECT_EQ(instr[7][2], 16375);   // reads entry 3
    EXPECT_EQ(instr[7][82], 16375);  // entry 83, the last positive one
    EXPECT_EQ(instr[7][83], -16376); // entry 84
}

// Attack and release of 0 last one sample each: the attack's at level 0, the release's at the
// peak; nothing after them is written.
TEST_F(Render, ZeroLengthStagesTakeOneSampleEach) {
    std::fill(instr[7], instr[7] + blk_len, 0);  // instrument 7 of the song is there
    const int32_t minimal[rec_len] = {7, w_square, 0, 0, 0, 0, 0, 0};
    adsr(minimal);
    EXPECT_EQ(instr[7][0], 0);
    EXPECT_EQ(instr[7][1], 16375);
    for (int k = 2; k < blk_len; ++k) ASSERT_EQ(instr[7][k], 0) << "sample " << k;
}

TEST_F(Render, OverlongRecordStaysInsideItsBlock) {
    std::vector<int32_t> next(instr[10], instr[10] + blk_len);
    const int32_t overlong[rec_len] = {9, w_saw, 1, 0, 0, 70000, 0, 0};
    adsr(overlong);
    EXPECT_NE(instr[9][blk_len - 1], 0);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), instr[10]));
}
