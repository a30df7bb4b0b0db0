// Sequencer, mixer and echo: the audio callback rendered offline.
#include <atomic>

#include "../../scene/scope.h"
#include "velk_fixture.h"

using namespace tiny;

using Play = Velk;

TEST_F(Play, SongIsSilentUntilTheFirstNoteSpeaks) {
    std::vector<int16_t> out = render(16546);
    for (int k = 0; k < 16545; ++k) ASSERT_EQ(out[k], 0) << "sample " << k;
    // Nine samples after row 2 starts note c1, channels 1 and 6 to 10 reach entry 1 of their blocks.
    const int chans[] = {1, 6, 7, 8, 9, 10};
    const int32_t entry1[] = {305, 305, 8187, -7994, 0, 4355};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(instr[chans[i]][1], entry1[i]) << "block " << chans[i];
    EXPECT_EQ(out[16545], 1719);  // (305 + 305 + 8187 - 7994 + 0 + 4355) / 3
}

TEST_F(Play, FirstRowsOfTheSong) {
    render(1);
    EXPECT_NE(eko[4], 0);  // tracks 4 and 5 start on the echo-on pattern
    EXPECT_NE(eko[5], 0);
    EXPECT_EQ(eko[1], 0);  // the others on the empty step
    for (int ch = 1; ch <= nchan; ++ch) EXPECT_EQ(ti[ch], 0) << "channel " << ch;

    render(16535);  // up to sample 16536, row 2
    for (int ch : {1, 6, 7, 8, 9, 10}) EXPECT_EQ(off[ch], silent) << "channel " << ch;
    render(1);
    for (int ch : {1, 6, 7, 8, 9, 10}) {
        EXPECT_EQ(plus[ch], 8004u) << "channel " << ch;
        EXPECT_EQ(off[ch], 8004u) << "channel " << ch;  // started at 0, one step taken
        EXPECT_NE(eko[ch], 0) << "channel " << ch;
    }
    EXPECT_EQ(off[2], silent);

    render(132288 - 16537);  // up to row 16
    EXPECT_EQ(off[2], silent);
    EXPECT_EQ(off[3], silent);
    render(1);
    EXPECT_EQ(off[2], 8004u);
    EXPECT_EQ(off[3], 8004u);
    EXPECT_EQ(off[4], silent);  // channels 4 and 5 never play a note
    EXPECT_EQ(off[5], silent);
}

// Step and length of a note: it sounds until its position reaches block entry 44100.
TEST_F(Play, NoteStepAndDuration) {
    struct Case { uint8_t note; uint32_t plus; int samples; };
    for (Case c : {Case{1, 8004, 361087}, Case{44, 98053, 29476}, Case{72, 494271, 5848}}) {
        velk_reset();
        static const uint8_t trk[] = {1, c_end};
        const uint8_t pat[] = {c.note, c_end};
        solo(trk, {pat});
        render(c.samples - 1);
        EXPECT_EQ(plus[1], c.plus) << "note " << int(c.note);
        EXPECT_NE(off[1], silent) << "note " << int(c.note);
        render(1);
        EXPECT_EQ(off[1], silent) << "note " << int(c.note);
        // Past row 1 the track has ended while the sound played on.
        EXPECT_EQ(ti[1], c.samples > int(row_len) ? -2 : 0) << "note " << int(c.note);
    }
}

// The end of a pattern takes no row of its own; the loop marker returns to the first entry.
TEST_F(Play, TrackLoopsBackToItsFirstEntry) {
    static const uint8_t pa[] = {0, c_end};
    static const uint8_t pb[] = {0, 0, c_end};
    static const uint8_t looping[] = {1, 2, c_loop};
    solo(looping, {pa, pb});
    const int32_t want_ti[] = {0, 1, 1, 0, 1, 1, 0};
    const int32_t want_pi[] = {0, 0, 1, 0, 0, 1, 0};
    for (int row = 0; row < 7; ++row) {
        render(row == 0 ? 1 : int(row_len));
        EXPECT_EQ(ti[1], want_ti[row]) << "row " << row;
        EXPECT_EQ(pi[1], want_pi[row]) << "row " << row;
    }
}

TEST_F(Play, StopSilencesInItsOwnRowWhileTheEchoRunsOn) {
    static const uint8_t trk[] = {1, c_end};
    static const uint8_t pat[] = {c_echo1, 1, c_stop, c_end};
    solo(trk, {pat});
    std::vector<int16_t> out = render(2 * int(row_len));
    EXPECT_NE(off[1], silent);
    out = render(1);
    EXPECT_EQ(off[1], silent);  // stopped in the very sample of row 2
    EXPECT_EQ(out[0], 0);

    // The note's first row went into the ring at a fifth and comes back 24803 samples later.
    render(int(row_len + ring_len - 1 - counter));
    out = render(int(row_len));
    int heard = 0;
    for (int k = 0; k < int(row_len); ++k) {
        int32_t s = instr[1][(uint32_t(k) * 8004) >> 16];
        ASSERT_EQ(out[k], s / 5 / 3) << "sample " << k;
        heard |= out[k];
    }
    EXPECT_NE(heard, 0);
}

TEST_F(Play, EchoOffCommand) {
    static const uint8_t trk[] = {1, c_end};
    static const uint8_t pat[] = {c_echo1, c_echo0, c_end};
    solo(trk, {pat});
    render(1);
    EXPECT_EQ(eko[1], c_echo1);
    render(int(row_len));
    EXPECT_EQ(eko[1], 0);
}

TEST_F(Play, ClampThenDivideByThree) {
    struct Case { int32_t in; int16_t out; };
    for (Case c : {Case{98302, 32767}, Case{-98302, -32767}, Case{98301, 32767}, Case{98300, 32766},
                   Case{1000000, 32767}, Case{5, 1}, Case{-5, -1}, Case{2, 0}, Case{-2, 0}}) {
        velk_reset();
        mute_rows();
        *ekou(6, 1) = c.in;  // read back at count 0
        EXPECT_EQ(render(1)[0], c.out) << "sum " << c.in;
    }
}

// A silent channel's ring returns what it holds every 24803 samples at half level, floored.
TEST_F(Play, EchoRecirculatesAtHalfAfter24803Samples) {
    mute_rows();
    *ekou(2, 1) = -1001;
    std::vector<int16_t> out = render(1);
    EXPECT_EQ(*ekou(2, 0), -501);  // floor(-1001 / 2)
    EXPECT_EQ(*ekou(2, 1), -1001);
    for (int16_t v : render(2 * int(ring_len) - 1)) out.push_back(v);
    EXPECT_EQ(out[0], -1001 / 3);
    EXPECT_EQ(out[24803], -501 / 3);
    EXPECT_EQ(out[2 * 24803], -251 / 3);
    for (int k = 1; k < int(out.size()); ++k) {
        if (k == 24803 || k == 2 * 24803) continue;
        ASSERT_EQ(out[k], 0) << "sample " << k;
    }
}

// With echo on, a sounding channel writes a fifth of its dry sample (toward zero) into the ring.
TEST_F(Play, EchoTakesAFifthOfTheDrySound) {
    mute_rows();
    const int32_t dry[4] = {-7, 7, -98302, 12};
    for (int k = 0; k < 4; ++k) instr[3][k] = dry[k];
    off[3] = 0;
    plus[3] = 0x10000;  // one block entry per sample
    eko[3] = c_echo1;
    std::vector<int16_t> out = render(4);
    EXPECT_EQ(out[0], -7 / 3);
    EXPECT_EQ(out[2], -32767);
    const int32_t ring[4] = {-1, 1, -19660, 2};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(*ekou(3, k), ring[k]) << "count " << k;
    render(int(ring_len) - 1 - 4);
    out = render(4);  // counts 24803..24806 read entries 0..3; the block is past its sound
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out[k], ring[k] / 3) << "count " << 24803 + k;
}

TEST_F(Play, BufferIsPublishedAfterItIsFilled) {
    EXPECT_EQ(smp.load(), nullptr);
    render(16000);
    std::vector<uint8_t> buf(2048);
    velk_play(nullptr, buf.data(), 2048);
    EXPECT_EQ(counter, 16000u + 1024u);
    scope_buf* s = smp.load();
    ASSERT_NE(s, nullptr);
    int moving = 0;
    for (int k = 0; k < scope_len; ++k) {
        int16_t v = int16_t(buf[2 * k] | buf[2 * k + 1] << 8);
        ASSERT_EQ(s->v[k].load(), v) << "sample " << k;
        moving |= v;
    }
    EXPECT_NE(moving, 0);

    // A longer buffer publishes its first 1024 samples.
    std::vector<uint8_t> big(4096);
    velk_play(nullptr, big.data(), 4096);
    EXPECT_EQ(counter, 16000u + 1024u + 2048u);
    for (int k = 0; k < scope_len; ++k)
        ASSERT_EQ(s->v[k].load(), int16_t(big[2 * k] | big[2 * k + 1] << 8)) << "sample " << k;
}

// Rows follow the global sample count, not buffer boundaries: any split renders the same.
TEST_F(Play, OutputDoesNotDependOnBufferSizes) {
    const int n = 140000;
    std::vector<int16_t> whole = render(n);
    velk_reset();
    std::vector<int16_t> parts;
    for (int size : {1, 1023, 2048, 1, 7, 8268, 4096}) {
        for (int16_t v : render(size)) parts.push_back(v);
    }
    while (int(parts.size()) < n) {
        int size = std::min(1024, n - int(parts.size()));
        for (int16_t v : render(size)) parts.push_back(v);
    }
    EXPECT_EQ(parts, whole);
}
