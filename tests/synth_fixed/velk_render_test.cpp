// Instrument rendering: envelope, sweep, ring modulation and the block each record fills.
#include "velk_fixture.h"

using namespace tiny;

using Render = Velk;

TEST_F(Render, Instrument1SineWithDeepDecayAndDownwardSweep) {
    adsr(i1);
    EXPECT_EQ(swp, -23);
    EXPECT_EQ(dv, 2621);     // release slope: -(-0xA00000 / 4000)
    EXPECT_EQ(vol, -1760);   // ends near zero, not at it
    EXPECT_EQ(at, 4015u);    // 2 + 12 + 1 + 4000 samples
    const int32_t first[6] = {0, 305, 1223, 916, 0, -1523};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(instr[1][k], first[k]) << "sample " << k;
    // Third release sample: sine entry 17 (19458) at vol -0xA00000 + 2 x 2621, whose >> 10 is
    // odd; past 16 bits, which the mixer's headroom takes.
    EXPECT_EQ(instr[1][17], -48598);
    for (int k = 4015; k < blk_len; ++k) ASSERT_EQ(instr[1][k], 0) << "sample " << k;
}

// The release slope is -(vol / release) taken as the release begins, so a one-sample release
// exposes the level the earlier stages reached.
TEST_F(Render, EnvelopeLevelsAfterAttackAndDecay) {
    const int32_t attack_only[rec_len] = {1, w_sine, 2, 0, 0, 0, 0, 0};
    adsr(attack_only);
    EXPECT_EQ(dv, -0x200000);  // peak after 2 samples
    EXPECT_EQ(at, 3u);         // decay and sustain of 0 are skipped, release 0 lasts one sample
    EXPECT_EQ(vol, 0);

    const int32_t with_decay[rec_len] = {1, w_sine, 2, 12, 0, 0, 0, 0};
    adsr(with_decay);
    EXPECT_EQ(dv, 0xA00000);  // -0xA00000 after 14 samples: the decay falls at the attack's slope
    EXPECT_EQ(at, 15u);

    const int32_t no_attack[rec_len] = {1, w_sine, 0, 0, 0, 0, 0, 0};
    adsr(no_attack);
    EXPECT_EQ(dv, -0x200000);  // attack 0 is one sample at the full slope
    EXPECT_EQ(at, 2u);
}

TEST_F(Render, Instrument9RingModulatedSine) {
    adsr(i9);
    EXPECT_EQ(op_h, 0u);
    EXPECT_EQ(op_l, 4169871100u);
    const int32_t first[6] = {0, 0, 68, 91, 0, -272};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(instr[9][k], first[k]) << "sample " << k;
}

TEST_F(Render, ModulationRateSplitsIntoWholeAndFraction) {
    adsr(i3);
    EXPECT_EQ(op_h, 12u);
    EXPECT_EQ(op_l, 2627018793u);
    adsr(i10);
    EXPECT_EQ(op_h, 15u);  // 1555 = 15 x 103 + 10
    EXPECT_EQ(op_l, 416987110u);
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

// A strong downward sweep takes the increment through zero; the phase then runs backwards and
// wraps below zero to the top of the table.
TEST_F(Render, SweepThroughZeroWrapsThePhase) {
    const int32_t falling[rec_len] = {2, w_saw, 12, 0, 0, 0, 0, -32000};
    adsr(falling);
    EXPECT_EQ(swp, -12483);                 // -32000 x 65536 / 168000, truncated
    EXPECT_EQ(iip, 0x10000 - 13 * 12483);   // 13 samples
    EXPECT_EQ(ii, uint32_t(13 * 0x10000 - 12483 * 78));  // sum of the increments used, mod 2^32
    EXPECT_GT(ii >> 16, 65500u);
}

TEST_F(Render, OverlongRecordStaysInsideItsBlock) {
    std::vector<int32_t> next(instr[10], instr[10] + blk_len);
    const int32_t overlong[rec_len] = {9, w_saw, 1, 0, 0, 70000, 0, 0};
    adsr(overlong);
    EXPECT_EQ(at, uint32_t(blk_len));
    EXPECT_NE(instr[9][blk_len - 1], 0);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), instr[10]));
}
