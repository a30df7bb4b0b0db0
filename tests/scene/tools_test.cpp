// The library-free math of intro-tiny against the C library, over the arguments the scene uses:
// camera phase up to ~40 rad, tangent arguments up to ~30, square roots of up to ~40000.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "../../scene/tools.h"

namespace {

TEST(TinyTools, SineAndCosine)
{
    for (float x = -40; x <= 40; x += 0.0037f) {
        ASSERT_NEAR(tsinf(x), std::sin(double(x)), 1e-15) << x;
        ASSERT_NEAR(tcosf(x), std::cos(double(x)), 1e-15) << x;
    }
    EXPECT_EQ(tsinf(0), 0);
    EXPECT_EQ(tcosf(0), 1);
}

TEST(TinyTools, TangentIncludingNearPoles)
{
    for (float x = -30; x <= 30; x += 0.0013f) {
        double want = std::tan(double(x));
        ASSERT_NEAR(ttanf(x), want, 1e-14 * (1 + std::fabs(want))) << x;
    }
    // The floats next to the poles, where tan is largest.
    for (int n = -9; n <= 9; n++) {
        float pole = float(M_PI / 2 + n * M_PI);
        for (float x : {std::nextafter(pole, -100.0f), pole, std::nextafter(pole, 100.0f)}) {
            double want = std::tan(double(x));
            ASSERT_NEAR(ttanf(x), want, 1e-11 * std::fabs(want)) << x;
        }
    }
}

TEST(TinyTools, SquareRootIsExact)
{
    for (float x = 0; x <= 40000; x += 0.731f)
        ASSERT_EQ(tsqrtf(x), std::sqrt(double(x))) << x;
    for (int n = 0; n <= 2 * 99 * 99; n++)
        ASSERT_EQ(tsqrtf(float(n)), std::sqrt(double(n))) << n;
}

}  // namespace
