// The frame clock against a live-style run at the frame cap: the same rise, layer sizes,
// pacing and quit frame at every captured frame, for the usual frame rates.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../playback/clock.h"
#include "../../playback/music.h"
#include "../../scene/idle.h"
#include "../../scene/scene.h"
#include "../../scene/timeline.h"

namespace {

struct state {
    float add, cam;
    int32_t n1, n2, n3, n4, lasttick;
    uint8_t quit;
    bool operator==(const state&) const = default;
};

state now() { return {add, cam, halfsize[0], halfsize[1], halfsize[2], halfsize[3], lasttick, quitnow}; }

std::ostream& operator<<(std::ostream& o, const state& s)
{
    return o << "add " << s.add << " cam " << s.cam << " sizes " << s.n1 << "/" << s.n2 << "/" << s.n3 << "/"
             << s.n4 << " lasttick " << s.lasttick << " quit " << int(s.quit);
}

struct Pacing : ::testing::TestWithParam<int> {
    static void SetUpTestSuite()
    {
        const char* why = "";
        ASSERT_TRUE(render_music(synth_port, 117 * sample_rate, 117000, &why)) << why;
    }
};

// The state at every frame as the frame clock brings the scene there, until quitnow.
std::vector<state> captured(int fps)
{
    scene_reset();
    std::vector<state> out;
    for (int64_t n = 0; !quitnow; n++) {
        shoot(frame_ms(n, fps), idle_slots);
        out.push_back(now());
    }
    return out;
}

// A live frame loop at the cap: it calls magic at every millisecond, except that in the slot of
// each frame time it is busy until that time, so the slot's frame is drawn at the frame's moment.
std::vector<state> live(int fps, size_t frames)
{
    scene_reset();
    std::vector<state> out;
    int64_t n = 0;
    for (int32_t t = 0; out.size() < frames; t++) {
        int32_t next = frame_ms(n, fps);
        bool busy = (t - 1) / slot_ms == (next - 1) / slot_ms && t < next && t > 0;
        if (!busy)
            magic(t);
        if (t == next) {
            out.push_back(now());
            n++;
        }
    }
    return out;
}

// The whole show at each rate: every frame's state as a live run would have it, and the same
// end whatever the rate.
TEST_P(Pacing, EveryFrameMatchesALiveRunAtTheCap)
{
    int fps = GetParam();
    auto got = captured(fps);
    ASSERT_EQ(int64_t(got.size()), show_frames(fps));
    auto want = live(fps, got.size());
    for (size_t n = 0; n < got.size(); n++)
        ASSERT_EQ(got[n], want[n]) << "frame " << n << " at " << frame_ms(n, fps) << " ms, " << fps << " fps";

    const state& end = got.back();
    EXPECT_EQ(frame_ms(got.size() - 1, fps), 116000);  // these rates all have a frame at 116 s
    EXPECT_NEAR(end.add, 36.00, 0.005);  // one rise per 10 ms slot drawn after 80 s: 3600
    EXPECT_EQ(end.n1, 49);
    EXPECT_EQ(end.n2, 49);
    EXPECT_EQ(end.n3, 39);
    EXPECT_EQ(end.n4, 99);
    EXPECT_EQ(end.quit, 1);
    EXPECT_EQ(got[got.size() - 2].quit, 0);  // the quit frame is the last one
}

INSTANTIATE_TEST_SUITE_P(Rates, Pacing, ::testing::Values(24, 30, 60, 100));

TEST(Clock, FrameTimesAndCounts)
{
    EXPECT_EQ(frame_ms(0, 60), 0);
    EXPECT_EQ(frame_ms(1, 60), 16);
    EXPECT_EQ(frame_ms(2, 60), 33);
    EXPECT_EQ(frame_ms(6960, 60), 116000);
    EXPECT_EQ(frame_ms(7, 7), 1000);
    EXPECT_EQ(show_frames(60), 6961);
    EXPECT_EQ(show_frames(24), 2785);
    EXPECT_EQ(show_frames(30), 3481);
    EXPECT_EQ(show_frames(100), 11601);
    EXPECT_EQ(show_frames(1), 117);
    EXPECT_EQ(show_frames(7), 813);  // 812 * 1000 / 7 = 116000
    EXPECT_EQ(frame_at(0, 60), 0);
    EXPECT_EQ(frame_at(16, 60), 1);
    EXPECT_EQ(frame_at(17, 60), 2);
    EXPECT_EQ(frame_at(10000, 60), 600);
    EXPECT_EQ(samples_before(6961, 60), 5116335);  // ceil(6961 * 44100 / 60)
    EXPECT_EQ(samples_before(1, 60), 735);
    EXPECT_EQ(samples_before(1, 7), 6300);
    EXPECT_EQ(samples_before(1, 13), 3393);  // 3392.3 rounds up
}

TEST_F(Pacing, FirstFrameDrawsNothing)
{
    scene_reset();
    shoot(0, idle_slots);
    EXPECT_EQ(lasttick, 0);  // nothing drawn at 0: the frame stays black
    shoot(16, idle_slots);
    EXPECT_EQ(lasttick, 20);
}

}  // namespace

// The scene's slots for this program: the clock sets gslots itself before each frame it draws.
gl_slots gslots = idle_slots;
sdl_slots sslots = no_wait;
