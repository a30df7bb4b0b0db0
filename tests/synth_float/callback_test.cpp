// The audio callback: frames per byte count, the counter, and the scope it publishes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../../scene/scope.h"
#include "../../song/song.h"
#include "../../synth_float/synth.h"

using namespace port;

// The scene owns the scope reference in the programs; this test program has no scene.
std::atomic<scope_buf*> smp{nullptr};

namespace {

class Callback : public ::testing::Test {
protected:
    void SetUp() override
    {
        synth_start(44100);
        ASSERT_EQ(parse_builtin_song(), 0);
    }
};

TEST_F(Callback, FillsLengthOverFourFramesAndPublishesTheScope)
{
    std::vector<int16_t> buf(2 * 1024 + 1, 999);  // one sample more than the device asks for
    audio_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4096);
    EXPECT_EQ(counter, 1024);
    EXPECT_EQ(buf[2048], 999);  // nothing past the buffer
    scope_buf* s = smp.load();
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < scope_len; i++)
        ASSERT_EQ(s->v[i].load(), buf[i]) << i;

    audio_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4098);  // a stray half frame
    EXPECT_EQ(counter, 2048);
    EXPECT_EQ(smp.load(), s);  // the same scope, refreshed
}

TEST_F(Callback, PlaysExactlyWhatOfflineRenderingGives)
{
    std::vector<int16_t> live;
    std::vector<int16_t> buf(2 * 1024);
    for (int k = 0; k < 20; k++) {  // past the first sound at frame 15129
        audio_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4096);
        live.insert(live.end(), buf.begin(), buf.end());
    }
    for (int i = 0; i < scope_len; i++)  // the scope holds the last buffer's first 512 frames
        ASSERT_EQ(smp.load()->v[i].load(), buf[i]) << i;

    synth_start(44100);
    ASSERT_EQ(parse_builtin_song(), 0);
    std::vector<int16_t> offline(live.size());
    mix_frames(offline.data(), 20 * 1024);
    EXPECT_EQ(live, offline);
    EXPECT_NE(std::count(offline.begin(), offline.end(), 0), (long)offline.size());
}

TEST_F(Callback, ShortBufferRefreshesOnlyItsPartOfTheScope)
{
    std::vector<int16_t> buf(2 * 1024);
    for (int k = 0; k < 16; k++)
        audio_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4096);
    scope_buf* s = smp.load();
    std::vector<int16_t> before(scope_len);
    for (int i = 0; i < scope_len; i++)
        before[i] = s->v[i].load();
    std::vector<int16_t> small(200, 4321);
    audio_callback(nullptr, reinterpret_cast<uint8_t*>(small.data()), 400);  // 100 frames
    EXPECT_EQ(counter, 16 * 1024 + 100);
    for (int i = 0; i < 200; i++)
        ASSERT_EQ(s->v[i].load(), small[i]) << i;
    for (int i = 200; i < scope_len; i++)
        ASSERT_EQ(s->v[i].load(), before[i]) << i;
    EXPECT_NE(std::memcmp(small.data(), before.data(), 400), 0);
}

}  // namespace
