// magic: pacing, camera, rise, schedule and end of timeline; the slots stepped without drawing.
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

using CatchUp = SceneTest;

TEST_F(CatchUp, StepsTheSlotsBeforeTheMomentsOwnAndDrawsNothing)
{
    scene_catch_up(10);  // no slot lies wholly before the one of 10
    EXPECT_EQ(lasttick, 0);
    scene_catch_up(5003);  // the slots ending at 10 to 5000, the last stepped at 4991
    EXPECT_EQ(lasttick, 5000);
    EXPECT_EQ(halfsize[0], 49);
    scene_catch_up(5003);
    EXPECT_EQ(lasttick, 5000);
    EXPECT_TRUE(calls.empty());

    magic(5003);  // t's own frame is drawn by magic
    EXPECT_EQ(count(g_clear), 1);
    EXPECT_EQ(lasttick, 5010);

    rec_reset();
    scene_catch_up(100000);  // through the growth of layers 2 to 4 and 1999 slots of the rise
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(lasttick, 99990);
    EXPECT_EQ(halfsize[1], 49);
    EXPECT_EQ(halfsize[2], 39);
    EXPECT_EQ(halfsize[3], 99);
    EXPECT_NEAR(add, 19.99, 0.005);
    EXPECT_EQ(quitnow, 0);
    scene_catch_up(end_ms + 2);  // the slot of end_ms + 1 is t's own: not yet past the end
    EXPECT_EQ(quitnow, 0);
    scene_catch_up(end_ms + 12);
    EXPECT_EQ(quitnow, 1);
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
    EXPECT_EQ(layers_drawn(), std::vector<int>{4});  // the frame that ends the show is drawn whole
    EXPECT_EQ(calls.back().fn, g_end);
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
    EXPECT_EQ(halfsize[0] | halfsize[1] | halfsize[2] | halfsize[3], 0);
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
