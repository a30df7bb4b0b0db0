// Wave tables and the resting state synth_start sets up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numeric>
#include <set>

#include "../../synth_float/synth.h"

using namespace port;

namespace {

class Tables : public ::testing::Test {
protected:
    void SetUp() override { synth_start(44100); }
};

TEST_F(Tables, OnePeriodIs168Samples)
{
    EXPECT_EQ(srate, 44100);
    EXPECT_EQ(period, 168);
    for (int w : {w_square, w_sine, w_saw})
        EXPECT_EQ(aalto[w].size(), 168u);
    EXPECT_EQ(aalto[w_noise].size(), 44100u);
}

TEST_F(Tables, SquareIsLowThenHigh)
{
    for (int k = 0; k < 168; k++)
        EXPECT_EQ(aalto[w_square][k], k < 84 ? -1.0f : 1.0f) << k;
}

TEST_F(Tables, SineAndSawShapes)
{
    EXPECT_EQ(aalto[w_sine][0], 0.0f);
    EXPECT_EQ(aalto[w_sine][42], 1.0f);
    EXPECT_EQ(aalto[w_sine][126], -1.0f);
    EXPECT_FLOAT_EQ(aalto[w_sine][28], std::sqrt(3.0f) / 2);

    EXPECT_EQ(aalto[w_saw][0], 0.0f);
    EXPECT_EQ(aalto[w_saw][84], -1.0f);
    EXPECT_EQ(aalto[w_saw][42], 0.5f);
    EXPECT_FLOAT_EQ(aalto[w_saw][83], 83.0f / 84);   // just below +1
    EXPECT_FLOAT_EQ(aalto[w_saw][167], -1.0f / 84);  // just below 0
    for (int k = 1; k < 168; k++) {
        if (k == 84)
            continue;
        EXPECT_NEAR(aalto[w_saw][k] - aalto[w_saw][k - 1], 2.0 / 168, 1e-6) << k;
    }
}

TEST_F(Tables, NoiseIsThousandthsFromMinusOneAndNeverMovesWithRand)
{
    const std::vector<float> first = aalto[w_noise];
    std::set<int> seen;
    double sum = 0;
    for (float v : first) {
        const double m = v * 1000.0;
        ASSERT_NEAR(m, std::round(m), 1e-3);
        ASSERT_GE(v, -1.0f);
        ASSERT_LE(v, 0.999f);
        seen.insert((int)std::lround(m));
        sum += v;
    }
    EXPECT_EQ(seen.size(), 2000u);  // every value turns up
    EXPECT_NEAR(sum / first.size(), 0.0, 0.02);

    // Other users of the C library's generator do not shift the noise.
    srand(12345);
    for (int k = 0; k < 1000; k++)
        (void)rand();
    synth_start(44100);
    EXPECT_EQ(aalto[w_noise], first);
}

TEST_F(Tables, NoiseValuesAreEquallyLikely)
{
    // At two million samples each value is expected 1000 times. A plain 15-bit draw modulo 2000
    // would give -1.000 .. -0.233 (the first 768 values) about 6 % more than the rest.
    synth_start(2000000);
    std::vector<int> count(2000);
    for (float v : aalto[w_noise])
        count[std::lround(v * 1000.0) + 1000]++;
    const double low = std::accumulate(count.begin(), count.begin() + 768, 0.0) / 768;
    const double high = std::accumulate(count.begin() + 768, count.end(), 0.0) / 1232;
    EXPECT_NEAR(low / high, 1.0, 0.01);
}

TEST_F(Tables, OtherRatesScaleThePeriodAndTheNoise)
{
    synth_start(22050);
    EXPECT_EQ(period, 84);
    EXPECT_EQ(aalto[w_square].size(), 84u);
    EXPECT_EQ(aalto[w_square][41], -1.0f);
    EXPECT_EQ(aalto[w_square][42], 1.0f);
    EXPECT_EQ(aalto[w_noise].size(), 22050u);
}

TEST_F(Tables, RateIsOfferedOnlyOnceTheWaveTablesExist)
{
    EXPECT_EQ(synth_rate(), 44100);
    synth_start(22050);
    EXPECT_EQ(synth_rate(), 22050);
    synth_start(261);  // below one wave period a second: no tables, nothing to render with
    EXPECT_EQ(period, 0);
    EXPECT_EQ(synth_rate(), 0);
    synth_start(262);
    EXPECT_EQ(synth_rate(), 262);
}

TEST_F(Tables, StartPutsEveryChannelAtRest)
{
    const int c = 7;
    off[c] = plus[c] = slide[c] = gain[c] = lowpass_mem[c] = pan[c] = lowpass[c] = 0.25f;
    eko[c] = true;
    ti[c] = pi[c] = counter = 4;
    trak[c][0] = 1;
    synth_start(44100);
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(off[c], -1.0f);
    EXPECT_EQ(plus[c], 0.0f);
    EXPECT_EQ(slide[c], 0.0f);
    EXPECT_EQ(gain[c], 1.0f);
    EXPECT_FALSE(eko[c]);
    EXPECT_EQ(ti[c], -1);
    EXPECT_EQ(pi[c], 0);
    EXPECT_EQ(lowpass_mem[c], 0.0f);
    EXPECT_EQ(pan[c], 0.5f);
    EXPECT_EQ(lowpass[c], 0.0f);
    EXPECT_EQ(trak[c][0], e_end);
}

}  // namespace
