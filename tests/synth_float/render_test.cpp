// Instrument rendering: envelope levels, table reads, ring modulation, sweep, buffer bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "../../synth_float/synth.h"

using namespace port;

namespace {

// Allocates slot s as the parser does (attack + decay + sustain + release + 1 zeros) and renders.
const std::vector<float>& make(int s, int wave, int a, int d, int su, int r, int mod = 0, int sweep = 0)
{
    instr_len[s] = a + d + su + r + 1;
    instr[s].assign(instr_len[s], 0.0f);
    render_instrument(s, wave, a, d, su, r, mod, sweep);
    return instr[s];
}

class Render : public ::testing::Test {
protected:
    void SetUp() override { synth_start(44100); }
};

TEST_F(Render, EnvelopeOfTheFirstBuiltInInstrument)
{
    // attack 2, decay 12, sustain 1, release 4000, on the square so each sample is +-level
    const auto& b = make(1, w_square, 2, 12, 1, 4000);
    ASSERT_EQ(b.size(), 4016u);
    auto level = [&](int k) { return b[k] * aalto[w_square][k % 168]; };
    EXPECT_EQ(level(0), 0.0f);
    EXPECT_EQ(level(1), 0.5f);
    for (int k = 2; k <= 13; k++)  // the decay keeps the attack's slope: 1.0 down to -4.5
        EXPECT_EQ(level(k), 1.0f - 0.5f * (k - 2)) << k;
    EXPECT_EQ(level(14), -5.0f);  // sustain
    EXPECT_EQ(level(15), -5.0f);  // release starts where the sustain left it ...
    for (int k = 16; k <= 4014; k++)  // ... and climbs back by 5 / 4000 a sample
        ASSERT_NEAR(level(k) - level(k - 1), 0.00125f, 2e-6f) << k;
    EXPECT_NEAR(level(4014), -0.00125f, 1e-4f);
    EXPECT_EQ(b[4015], 0.0f);  // the steps are one fewer than the buffer
}

TEST_F(Render, UnmodulatedSamplesAreExactlyLevelTimesTable)
{
    const float levels[8] = {0, 0.25f, 0.5f, 0.75f, 1.0f, 0.75f, 0.5f, 0.25f};
    for (int w : {w_square, w_sine, w_saw, w_noise}) {
        const auto& b = make(2, w, 4, 0, 0, 4);
        ASSERT_EQ(b.size(), 9u);
        for (int k = 0; k < 8; k++)
            EXPECT_EQ(b[k], (float)((double)levels[k] * aalto[w][k])) << "wave " << w << " sample " << k;
        EXPECT_EQ(b[8], 0.0f);
    }
}

TEST_F(Render, DecayLongerThanAttackInvertsTheLevel)
{
    const auto& inv = make(3, w_square, 2, 4, 1, 2);  // levels 0 .5 | 1 .5 0 -.5 | -1 | -1 -.5
    EXPECT_EQ(inv[5], 0.5f);
    EXPECT_EQ(inv[6], 1.0f);  // -1 times the square's -1
    EXPECT_EQ(inv[7], 1.0f);
    EXPECT_EQ(inv[8], 0.5f);
    const auto& flat = make(3, w_square, 2, 2, 3, 5);  // decay ends at 0: silent sustain and release
    for (int k = 4; k < 13; k++)
        EXPECT_EQ(flat[k], 0.0f) << k;
}

TEST_F(Render, AttackZeroRendersLikeAttackOne)
{
    const std::vector<float> one = make(4, w_saw, 1, 0, 2, 3);
    const auto& zero = make(4, w_saw, 0, 0, 2, 3);
    ASSERT_EQ(zero.size(), 6u);  // the length counts no attack sample ...
    ASSERT_EQ(one.size(), 7u);
    for (int k = 0; k < 6; k++)  // ... yet one is rendered, so the last sample is used
        EXPECT_EQ(zero[k], one[k]) << k;
    EXPECT_NE(zero[5], 0.0f);
    EXPECT_EQ(one[6], 0.0f);
}

TEST_F(Render, AttackAndReleaseBothZeroStopAtTheBufferEnd)
{
    // One step more than the buffer holds: the last (release) step is not written.
    const auto& b = make(5, w_square, 0, 2, 1, 0);  // levels 0 | 1 0 | -1 | (-1)
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0], 0.0f);
    EXPECT_EQ(b[1], -1.0f);
    EXPECT_EQ(b[2], 0.0f);
    EXPECT_EQ(b[3], 1.0f);
    const auto& tiny = make(5, w_square, 0, 0, 0, 0);
    ASSERT_EQ(tiny.size(), 1u);
    EXPECT_EQ(tiny[0], 0.0f);
    instr[5].clear();  // no buffer at all: nothing to write
    render_instrument(5, w_square, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(instr[5].empty());
}

TEST_F(Render, ArgumentsOutsideTheTablesWriteNothing)
{
    instr[6].assign(10, 7.0f);
    render_instrument(6, w_count, 1, 0, 8, 1, 0, 0);
    render_instrument(6, -1, 1, 0, 8, 1, 0, 0);
    render_instrument(n_slots, w_square, 1, 0, 8, 1, 0, 0);
    render_instrument(-1, w_square, 1, 0, 8, 1, 0, 0);
    EXPECT_EQ(instr[6], std::vector<float>(10, 7.0f));
}

TEST_F(Render, RingModulationMultipliesBySine)
{
    for (int mod : {100, 1299}) {
        const auto& b = make(7, w_sine, 1, 0, 300, 1, mod);  // level 1 through the sustain
        // the modulator phase is a float sum, so it drifts a little from the exact one
        const double step = 2 * std::numbers::pi * (mod / 100.0) / 168;
        for (int k = 1; k <= 300; k++)
            ASSERT_NEAR(b[k], aalto[w_sine][k % 168] * std::sin(step * k), 3e-3) << mod << " " << k;
    }
}

TEST_F(Render, SweepBendsThePitch)
{
    // Sign changes of a square at level 1 show where the phase crosses the table's halves.
    auto first_high = [](const std::vector<float>& b) {
        for (size_t k = 1; k < b.size(); k++)
            if (b[k] > 0)
                return (int)k;
        return -1;
    };
    EXPECT_EQ(first_high(make(8, w_square, 1, 0, 200, 1, 0, 0)), 84);
    // step 1 + n / 168: the phase reaches 84 after 70 samples
    EXPECT_EQ(first_high(make(8, w_square, 1, 0, 200, 1, 0, 1000)), 70);
    // step 1 - n / 84: the phase turns back at 42.5 and falls below -1 at sample 170, where it
    // reads the end of the table
    const auto& back = make(8, w_square, 1, 0, 200, 1, 0, -2000);
    EXPECT_EQ(first_high(back), 170);
    EXPECT_EQ(back[169], -1.0f);
}

TEST_F(Render, RunawaySweepStillReadsInsideTheTable)
{
    for (int sweep : {2000000000, -2000000000}) {
        const auto& b = make(9, w_square, 1, 0, 5000, 1, 0, sweep);
        for (int k = 1; k <= 5000; k++)
            ASSERT_EQ(std::fabs(b[k]), 1.0f) << sweep << " " << k;
    }
}

TEST_F(Render, NoiseRepeatsAfterOneSecond)
{
    const auto& b = make(10, w_noise, 1, 0, 50000, 1);
    for (int k = 1; k < 5000; k++)
        ASSERT_EQ(b[k + 44100], b[k]) << k;
    EXPECT_NE(b[1], b[2]);
}

}  // namespace
