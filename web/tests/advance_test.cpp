// The page's frame clock: advance() leaves the scene exactly as drawing every slot through idle
// slots leaves it (the capture's clock), at every slot of the show and after long jumps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../../capture/clock.h"
#include "../../capture/music.h"
#include "../advance.h"
#include "../../scene/layers.h"
#include "../../scene/scene.h"
#include "../../scene/timeline.h"

namespace {
struct state {
    int32_t lasttick, h1, h2, h3, h4;
    float add, cam;
    uint8_t quit;
    bool operator==(const state&) const = default;
};

state now() { return {lasttick, halfsize1, halfsize2, halfsize3, halfsize4, add, cam, quitnow}; }


// The state after the frame of every slot, drawn the capture's way: index k is after the slot
// ending at 10 (k + 1).
const std::vector<state>& drawn()
{
    static std::vector<state> out;
    if (out.empty()) {
        const char* why = "";
        EXPECT_TRUE(render_music(synth_tiny, 0, end_ms + 11, &why)) << why;
        scene_reset();
        for (int32_t t = 1; t <= end_ms + 11; t += slot_ms) {
            shoot(t, idle_slots, idle_slots);
            out.push_back(now());
        }
    }
    return out;
}
}

TEST(Advance, EqualsTheSceneAtEverySlot)
{
    const auto& want = drawn();
    scene_reset();
    for (size_t k = 0; k + 1 < want.size(); k++) {
        // Bringing the scene to the next slot's first ms steps through this slot only.
        advance(static_cast<int32_t>(10 * (k + 1) + 1));
        ASSERT_EQ(now(), want[k]) << "after the slot ending at " << 10 * (k + 1);
    }
    EXPECT_EQ(want.back().quit, 1);
    EXPECT_EQ(want.back().h4, 99);
    EXPECT_NEAR(want.back().add, 36.0, 0.01);
}

TEST(Advance, LongJumpsAsAHiddenTabMakesThem)
{
    const auto& want = drawn();
    scene_reset();
    for (int32_t t : {7, 4999, 4999, 60005, 99999, 116001}) {
        advance(t);
        int32_t before = (t - 1) / slot_ms;  // slots wholly before t's own
        if (before > 0)
            ASSERT_EQ(now(), want[before - 1]) << "at " << t;
    }
}

TEST(Advance, NothingBeforeTheFirstSlotAndRewindStartsAfresh)
{
    scene_reset();
    advance(10);
    EXPECT_EQ(now(), state{});
    advance(30000);
    EXPECT_NE(now(), state{});
    scene_reset();
    EXPECT_EQ(now(), state{});
}
