// The offline render: the synthesizers' own output block by block, the scope each block
// published, and the block the picture sees at a given time.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "../../playback/clock.h"
#include "../../playback/music.h"
#include "../../scene/idle.h"
#include "../../scene/scene.h"
#include "../../scene/timeline.h"
#include "../../song/song.h"
#include "../../synth_fixed/velk_reset.h"
#include "../../synth_fixed/velk_tiny.h"
#include "../../synth_float/synth.h"

namespace {

const char* why = "";

TEST(Music, TinyRenderIsMonoAndRepeats)
{
    const int64_t frames = 20000;  // past the first sound at sample 16545
    ASSERT_TRUE(render_music(synth_tiny, frames, 0, &why)) << why;
    EXPECT_EQ(channels, 1);
    ASSERT_EQ(pcm.size(), size_t(20 * 1024));
    EXPECT_EQ(pcm[16544], 0);
    EXPECT_EQ(pcm[16545], 1719);
    std::vector<int16_t> first = pcm;

    // A second render in the same process starts from the song's beginning again.
    ASSERT_TRUE(render_music(synth_tiny, frames, 0, &why)) << why;
    EXPECT_EQ(pcm, first);
}

TEST(Music, RenderReachesTheBlockOfTheLastTime)
{
    ASSERT_TRUE(render_music(synth_tiny, 1, 116000, &why)) << why;
    EXPECT_EQ(nblocks, 4996);  // block 4995 holds 116000 ms: 116000 * 44100 / 1024000 = 4995.7
}

// First timeline ms at which block k plays.
int32_t ms_of(int64_t k) { return int32_t((k * 1024000 + 44099) / 44100); }

// The scope at each moment is the one the synthesizer's own callback published for that block,
// played live into a device buffer.
TEST(Music, ScopesAreWhatTheCallbacksPublished)
{
    for (synth_kind s : {synth_port, synth_tiny}) {
        ASSERT_TRUE(render_music(s, 30 * 1024, 0, &why)) << why;
        if (s == synth_port) {
            port::synth_start(44100);
            ASSERT_EQ(port::parse_builtin_song(), 0);
        } else {
            tiny::velk_reset();
        }
        std::vector<uint8_t> device(block_len * channels * 2);
        for (int64_t k = 0; k < 30; k++) {
            if (s == synth_port)
                port::audio_callback(nullptr, device.data(), int(device.size()));
            else
                tiny::velk_play(nullptr, device.data(), int(device.size()));
            const scope_buf* live = smp.load();
            const scope_buf* got = scope_at(ms_of(k));
            for (int i = 0; i < scope_len; i++)
                ASSERT_EQ(got->v[i].load(), live->v[i].load()) << "synth " << s << " block " << k << " value " << i;
        }
    }
}

TEST(Music, BlockAtTime)
{
    EXPECT_EQ(block_at(0), 0);
    EXPECT_EQ(block_at(23), 0);   // 23 ms = 1014.3 samples
    EXPECT_EQ(block_at(24), 1);   // 1058.4 samples: the second block plays
    EXPECT_EQ(block_at(1000), 43);
    EXPECT_EQ(block_at(116000), 4995);
}

// The scope the scene reads while drawing each frame is the block of that moment; the slots
// stepped through before it draw nothing. Every block of a synthetic render is stamped with its
// own number, and the glBegin slot records what it sees.
std::vector<int> drawn;  // stamps seen by the frame, one per layer drawn
void look_draw(unsigned) { drawn.push_back(smp.load()->v[scope_len - 1].load()); }

// The block playing at t ms: t * 44100 / 1024000, rounded down.
int playing(int32_t t) { return int(int64_t{t} * 44100 / 1024000); }

TEST(Music, SceneSeesTheBlockOfEachMoment)
{
    ASSERT_TRUE(render_music(synth_port, 1, 30000, &why)) << why;
    for (int64_t k = 0; k < nblocks; k++)
        std::fill_n(&pcm[k * block_len * channels], scope_len, int16_t(k));
    gl_slots draw = idle_slots;
    draw.begin = look_draw;

    for (int fps : {60, 7}) {  // 7 fps: 14 slots stepped between frames
        scene_reset();
        for (int64_t n = frame_at(20001, fps); n < frame_at(20400, fps); n++) {
            drawn.clear();
            int32_t t = frame_ms(n, fps);
            shoot(t, draw);
            ASSERT_EQ(drawn.size(), 2u) << "frame at " << t;  // layers 1 and 2, each once
            for (int stamp : drawn)
                ASSERT_EQ(stamp, playing(t)) << "frame at " << t;
        }
    }
}

}  // namespace
