// The model the built-in song reads into. What every keyword plays (the note table) and the
// built-in song's whole render are pinned in tests/golden (notes, song).
#include <gtest/gtest.h>

#include <vector>

#include "song/song.h"
#include "synth_float/synth.h"

using namespace port;

namespace {

class Model : public ::testing::Test {
protected:
    void SetUp() override { synth_start(44100); }
};

// Track entries from a list of pattern numbers, then the loop marker and the end marker.
std::vector<int32_t> looped(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int32_t> t;
    for (auto [pattern, times] : runs)
        t.insert(t.end(), times, pattern);
    t.push_back(e_loop);
    t.push_back(e_end);
    return t;
}

void expect_track(int n, const std::vector<int32_t>& want)
{
    for (size_t k = 0; k < want.size(); k++)
        EXPECT_EQ(trak[n][k], want[k]) << "track " << n << " entry " << k;
}

TEST_F(Model, BuiltInSongReadsIntoTheModel)
{
    ASSERT_EQ(parse_builtin_song(), 0) << song_error;
    EXPECT_STREQ(song_error, "");
    EXPECT_EQ(row_len, 7560);
    EXPECT_EQ(echo_len, 22680);
    EXPECT_EQ(playing_channels(), 10);

    const int32_t lens[11] = {0, 4016, 5610, 10008, 2007, 20008, 6009, 2008, 40008, 6014, 1007};
    for (int n = 0; n < n_slots; n++) {
        EXPECT_EQ(instr_len[n], n <= 10 ? lens[n] : 0) << "slot " << n;
        EXPECT_EQ(instr[n].size(), (size_t)instr_len[n]) << "slot " << n;
        EXPECT_EQ(echo[n].size(), n >= 1 && n <= 10 ? 22680u : 0u) << "slot " << n;
        EXPECT_EQ(pan[n], 0.5f);
        EXPECT_EQ(lowpass[n], 0.0f);
    }

    const std::vector<std::vector<int32_t>> patterns = {
        {},
        {0, e_end},
        {e_echo1, e_end},
        {32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, e_end},
        {392, 0, 98, 784, 0, 0, 784, e_end},
    };
    for (int n = 1; n <= 4; n++)
        for (size_t k = 0; k < patterns[n].size(); k++)
            EXPECT_EQ(ptn[n][k], patterns[n][k]) << "pattern " << n << " slot " << k;
    EXPECT_EQ(ptn[0][0], e_end);
    EXPECT_EQ(ptn[5][0], e_end);

    const auto melody = looped({{1, 1}, {2, 1}, {3, 19}});
    for (int n : {1, 6, 7, 8, 9, 10})
        expect_track(n, melody);
    expect_track(2, looped({{1, 1}, {2, 15}, {3, 6}, {4, 8}}));
    expect_track(3, looped({{1, 1}, {2, 15}, {3, 5}, {4, 11}, {3, 7}, {4, 8}}));
    expect_track(4, looped({{2, 1}}));
    expect_track(5, looped({{2, 16}}));
    EXPECT_EQ(trak[0][0], e_end);
    EXPECT_EQ(trak[11][0], e_end);
}

TEST_F(Model, RestartingForgetsTheSong)
{
    ASSERT_EQ(parse_builtin_song(), 0);
    synth_start(44100);
    EXPECT_EQ(row_len, 0);
    EXPECT_EQ(echo_len, 0);
    EXPECT_EQ(playing_channels(), 0);
    for (int n = 0; n < n_slots; n++) {
        EXPECT_TRUE(instr[n].empty());
        EXPECT_EQ(instr_len[n], 0);
        EXPECT_TRUE(echo[n].empty());
        EXPECT_EQ(trak[n][0], e_end);
    }
    EXPECT_EQ(ptn[3][0], e_end);
    ASSERT_EQ(parse_builtin_song(), 0) << song_error;  // and it reads again
    EXPECT_EQ(instr_len[8], 40008);
}

}  // namespace
