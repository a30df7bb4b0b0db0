// magic: pacing, one frame's call sequence, camera, rise, schedule and end of timeline.
#include <cmath>

#include "fixture.h"

namespace {

using Pacing = SceneTest;

TEST_F(Pacing, NoScopeMeansNoDrawNoSleep)
{
    smp.store(nullptr);
    for (int32_t t : {0, 13, 50000, 116000, 2000000})
        magic(t);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(lasttick, 0);
    EXPECT_EQ(quitnow, 0);
}

TEST_F(Pacing, FirstCallAtZeroOnlySleeps)
{
    magic(0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].fn, r_delay);
    EXPECT_EQ(calls[0].a[0], 1);
    EXPECT_EQ(lasttick, 0);
}

TEST_F(Pacing, OneFramePerTenMsSlot)
{
    magic(13);
    EXPECT_EQ(count(g_clear), 1);
    EXPECT_EQ(lasttick, 20);
    for (int32_t t = 14; t <= 20; t++) {
        rec_reset();
        magic(t);
        ASSERT_EQ(calls.size(), 1u) << t;
        EXPECT_EQ(calls[0].fn, r_delay);
        EXPECT_EQ(calls[0].a[0], 1);
        EXPECT_EQ(lasttick, 20);
    }
    rec_reset();
    magic(21);
    EXPECT_EQ(count(g_clear), 1);
    EXPECT_EQ(count(r_delay), 0);
    EXPECT_EQ(lasttick, 30);
}

TEST_F(Pacing, StallDrawsOnceAndCatchesUp)
{
    magic(100);
    EXPECT_EQ(lasttick, 100);
    magic(5003);
    EXPECT_EQ(lasttick, 5010);
    EXPECT_EQ(count(g_clear), 2);
    rec_reset();
    magic(5010);
    EXPECT_EQ(count(r_delay), 1);
    EXPECT_EQ(count(g_clear), 0);
}

TEST_F(Pacing, LargestTimeStillReturnsAfterDrawing)
{
    magic(INT32_MAX);
    EXPECT_EQ(count(g_clear), 1);
    EXPECT_EQ(quitnow, 1);
}

using FrameCalls = SceneTest;

TEST_F(FrameCalls, ExactSequenceUpToTheFirstLayer)
{
    frame(1234);
    ASSERT_GT(calls.size(), 12u);
    const call* c = calls.data();
    EXPECT_EQ(c[0].fn, g_clear);
    EXPECT_EQ(c[0].a[0], 16640);
    EXPECT_EQ(c[1].fn, g_matrixmode);
    EXPECT_EQ(c[1].a[0], 0x1701);
    EXPECT_EQ(c[2].fn, g_loadidentity);
    EXPECT_EQ(c[3].fn, g_frustum);
    EXPECT_EQ(c[3].a[0], -0.01);
    EXPECT_EQ(c[3].a[1], 0.01);
    EXPECT_EQ(c[3].a[2], -0.0075);
    EXPECT_EQ(c[3].a[3], 0.0075);
    EXPECT_EQ(c[3].a[4], 0.01);
    EXPECT_EQ(c[3].a[5], 1135);
    EXPECT_EQ(c[4].fn, g_translatef);
    EXPECT_EQ(c[4].a[0], 0);
    EXPECT_EQ(c[4].a[1], float(cam + add));
    EXPECT_EQ(c[4].a[2], float(2.5 * cam));
    EXPECT_EQ(c[5].fn, g_rotatef);
    EXPECT_EQ(c[5].a[0], 12.34f);  // t / 100.0, not whole degrees
    EXPECT_EQ(c[5].a[1], 0);
    EXPECT_EQ(c[5].a[2], 0.1f);
    EXPECT_EQ(c[5].a[3], 0);
    EXPECT_EQ(c[6].fn, g_matrixmode);
    EXPECT_EQ(c[6].a[0], 0x1700);
    EXPECT_EQ(c[7].fn, g_enable);
    EXPECT_EQ(c[7].a[0], 2929);
    EXPECT_EQ(c[8].fn, g_loadidentity);
    EXPECT_EQ(c[9].fn, g_translatef);
    EXPECT_EQ(c[9].a[0], 0);
    EXPECT_EQ(c[9].a[1], 0);
    EXPECT_EQ(c[9].a[2], -3);
    EXPECT_EQ(c[10].fn, g_begin);
    EXPECT_EQ(c[10].a[0], 7);
    EXPECT_EQ(calls.back().fn, g_end);
    // Layer 1 alone at t = 1234, half-size 12: nothing but its cells after the glBegin.
    EXPECT_EQ(calls.size(), 10 + 2 + 25u * 25 * 5);
}

using Camera = SceneTest;

TEST_F(Camera, HeightAtStart)
{
    lasttick = -10;
    magic(0);
    EXPECT_EQ(cam, -7.2f);
    ASSERT_EQ(calls[4].fn, g_translatef);
    EXPECT_EQ(calls[4].a[1], -7.2f);
    EXPECT_EQ(calls[4].a[2], -18.0f);
}

TEST_F(Camera, HeightFollowsTime)
{
    struct { int32_t t; double y, z; } want[] = {{1000, -6.5751, -16.4377}, {50000, -10.1032, -25.2580}};
    for (auto w : want) {
        rec_reset();
        frame(w.t);
        EXPECT_NEAR(cam, w.y, 1e-4) << w.t;
        ASSERT_EQ(calls[4].fn, g_translatef);
        EXPECT_NEAR(calls[4].a[1], w.y, 1e-4) << w.t;
        EXPECT_NEAR(calls[4].a[2], w.z, 1e-4) << w.t;
    }
}

using Rise = SceneTest;

TEST_F(Rise, StartsWithTheFirstFrameAfter80000)
{
    frame(79990);
    frame(80000);
    EXPECT_EQ(add, 0);
    rec_reset();
    frame(80010);
    EXPECT_EQ(add, 0.01f);
    EXPECT_EQ(calls[4].a[1], float(cam + 0.01f));
    frame(80020);
    EXPECT_EQ(add, float(0.01f + 0.01));
}

TEST_F(Rise, StepIsTheDoubleHundredth)
{
    // A rise at which adding 0.01 at double and at single precision round to different floats.
    float a = 0;
    while (float(a + 0.01) == float(a + 0.01f))
        a = float(a + 0.01);
    add = a;
    frame(80010);
    EXPECT_EQ(add, float(a + 0.01));
    EXPECT_NE(add, float(a + 0.01f));
}

TEST_F(Rise, StopsWhenCameraReaches45)
{
    frame(80010);
    const float c = cam;
    // Smallest add whose sum with this frame's cam reaches 45, and the float just below it.
    float top = float(45.0 - c);
    while (double(c) + top < 45)
        top = std::nextafter(top, 100.0f);
    float below = std::nextafter(top, 0.0f);
    ASSERT_LT(double(c) + below, 45);

    add = top;
    frame(80010);
    EXPECT_EQ(add, top);

    add = below;
    frame(80010);
    EXPECT_EQ(add, float(below + 0.01));
}

using Schedule = SceneTest;

TEST_F(Schedule, LayersByTime)
{
    struct { int32_t t; std::vector<int> layers; } want[] = {
        {10, {1}},         {20000, {1}},      {20001, {1, 2}},   {24999, {1, 2}},      {25000, {2}},
        {50000, {2}},      {50001, {2, 3}},   {90000, {2, 3}},   {90001, {2, 3, 4}},   {94999, {2, 3, 4}},
        {95000, {4}},      {115999, {4}},     {116000, {4}},
    };
    for (auto& w : want) {
        rec_reset();
        frame(w.t);
        EXPECT_EQ(layers_drawn(), w.layers) << w.t;
    }
}

TEST_F(Schedule, QuitRaisedAfterTheLastLayerAt116000)
{
    frame(115999);
    EXPECT_EQ(quitnow, 0);
    rec_reset();
    frame(116000);
    EXPECT_EQ(layers_drawn(), std::vector<int>{4});
    ASSERT_EQ(calls.back().fn, g_end);
    EXPECT_EQ(calls.back().a[0], 0);  // still clear while layer 4 was drawn
    EXPECT_EQ(quitnow, 1);
}

TEST_F(Schedule, ResetForgetsAWholeShow)
{
    for (int32_t t : {10000, 30000, 60000, 100000, 116000})
        frame(t);
    ASSERT_EQ(quitnow, 1);
    ASSERT_GT(add, 0);
    scene_reset();
    EXPECT_EQ(lasttick, 0);
    EXPECT_EQ(add, 0);
    EXPECT_EQ(cam, 0);
    EXPECT_EQ(quitnow, 0);
    EXPECT_EQ(halfsize1 | halfsize2 | halfsize3 | halfsize4, 0);
    // and the next show draws from its start again: layer 1's one cell at 10 ms
    rec_reset();
    magic(10);
    EXPECT_EQ(count(r_delay), 0);
    EXPECT_EQ(cells_of(0).size(), 1u);
}

TEST_F(Schedule, LayerOffsetsAddUp)
{
    // Sum of the layer offsets in force at each glBegin of one frame.
    auto offsets = [] {
        std::vector<std::vector<double>> out;
        double x = 0, y = 0, z = 0;
        bool scene = false;
        for (const call& c : calls) {
            if (c.fn == g_translatef && scene) {
                x += c.a[0];
                y += c.a[1];
                z += c.a[2];
            }
            if (c.fn == g_translatef && c.a[2] == -3 && c.a[1] == 0)
                scene = true;  // the scene offset; layer offsets follow it
            if (c.fn == g_begin)
                out.push_back({x, y, z});
        }
        return out;
    };
    using v = std::vector<std::vector<double>>;
    frame(1000);
    EXPECT_EQ(offsets(), (v{{0, 0, 0}}));
    rec_reset();
    frame(60000);
    EXPECT_EQ(offsets(), (v{{10, 0, 0}, {-10, 0, 0}}));
    rec_reset();
    frame(92000);
    EXPECT_EQ(offsets(), (v{{10, 0, 0}, {-10, 0, 0}, {0, -50, -30}}));
    rec_reset();
    frame(95000);
    EXPECT_EQ(offsets(), (v{{10, -50, -30}}));
}

}  // namespace
