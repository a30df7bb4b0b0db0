// The audio callback against a plain sample-by-sample reference of the sequencer, mixer and echo:
// the same song tables must give the same 16-bit samples, whatever the buffer sizes, and leave
// the same channel state and echo rings behind.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "velk_fixture.h"

using namespace tiny;

namespace {

// ---- Reference: one sample at a time, straight from the algorithm ----

constexpr uint32_t ref_row = 8268;             // samples per row
constexpr uint32_t ref_ring = 24804;           // echo ring entries: three rows
constexpr uint32_t ref_silent = 0xFFFFFFFF;    // off of a channel that plays nothing
constexpr uint32_t ref_end = 0xAC440000;       // 44100 block entries in 16.16: a note ends there
constexpr int32_t ref_max = 98301;             // 3 x 32767

struct ref_synth {
    uint32_t counter = 0;
    int32_t ti[nblk], pi[nblk];
    uint32_t off[nblk], plus[nblk];
    int32_t eko[nblk];
    std::vector<int32_t> ring[nblk];

    ref_synth() {
        for (int ch = 0; ch < nblk; ++ch) {
            ti[ch] = -1;
            pi[ch] = 0;
            off[ch] = ref_silent;
            plus[ch] = 0;
            eko[ch] = 0;
            ring[ch].assign(ref_ring, 0);
        }
    }

    uint8_t getcmd(int ch) const { return ptn[trak[ch][ti[ch]]][pi[ch]]; }

    void row(int ch) {
        if (ti[ch] == -2) return;
        pi[ch] += 1;
        bool next_entry = ti[ch] == -1;
        uint8_t cmd = 0;
        if (!next_entry) {
            cmd = getcmd(ch);
            next_entry = cmd == 0xFE;
        }
        if (next_entry) {
            ti[ch] += 1;
            const uint8_t t = trak[ch][ti[ch]];
            if (t == 0xFD) ti[ch] = 0;
            if (t == 0xFE) ti[ch] = -2;
            pi[ch] = 0;
            if (ti[ch] == -2) return;
            cmd = getcmd(ch);
        }
        if (cmd == 0) {
        } else if (cmd == 0xFA) {
            off[ch] = ref_silent;
        } else if (cmd == 0xFC) {
            eko[ch] = cmd;
        } else if (cmd == 0xFB) {
            eko[ch] = 0;
        } else {
            plus[ch] = uint32_t(notei[cmd - 1]) * 65536u / 262u;
            off[ch] = 0;
        }
    }

    int16_t sample() {
        if (counter % ref_row == 0)
            for (int ch = 1; ch <= 10; ++ch) row(ch);
        int32_t sum = 0;
        for (int ch = 1; ch <= 10; ++ch) {
            const int32_t r = ring[ch][(counter + 1) % ref_ring];
            sum += r;
            int32_t* tmp = &ring[ch][counter % ref_ring];
            *tmp = r >> 1;
            if (off[ch] != ref_silent) {
                const int32_t s = instr[ch][off[ch] >> 16];
                sum += s;
                if (eko[ch]) *tmp = s / 5;
                off[ch] += plus[ch];
                if (off[ch] >= ref_end) off[ch] = ref_silent;
            }
        }
        sum = std::clamp(sum, -ref_max, ref_max);
        counter += 1;
        return int16_t(sum / 3);
    }
};

// ---- Comparison ----

struct outcome {
    int64_t first = -1;  // first sample that differs, -1 for none
    int16_t got = 0, want = 0;
    int64_t sounding = 0;  // nonzero samples
    int64_t clamped = 0;   // samples at full scale
};

std::string describe(const outcome& o) {
    return "first differing sample " + std::to_string(o.first) + ": velk_play " + std::to_string(o.got) +
           ", reference " + std::to_string(o.want);
}

const std::vector<int> uneven = {1024, 1, 4093, 8267, 17, 2048, 12000, 3, 777};

constexpr int64_t song_samples = 116 * 44100;  // the intro's length

// Renders samples through velk_play in buffers of the given sizes, taken in turn, and through the
// reference; stops at the first sample that differs.
outcome compare(ref_synth& r, int64_t samples) {
    outcome o;
    std::vector<uint8_t> buf;
    int64_t done = 0;
    for (size_t k = 0; done < samples; ++k) {
        const int n = int(std::min<int64_t>(uneven[k % uneven.size()], samples - done));
        buf.assign(2 * size_t(n), 0x5a);
        velk_play(nullptr, buf.data(), 2 * n);
        for (int i = 0; i < n; ++i) {
            const int16_t got = int16_t(buf[2 * i] | buf[2 * i + 1] << 8);
            const int16_t want = r.sample();
            if (got != want) {
                o.first = done + i;
                o.got = got;
                o.want = want;
                return o;
            }
            o.sounding += got != 0;
            o.clamped += std::abs(got) == 32767;
        }
        done += n;
    }
    return o;
}

// After the same samples velk_play and the reference hold the same state, echo rings included.
void expect_same_state(const ref_synth& r) {
    EXPECT_EQ(counter, r.counter);
    for (int ch = 1; ch <= nchan; ++ch) {
        EXPECT_EQ(ti[ch], r.ti[ch]) << "channel " << ch;
        EXPECT_EQ(pi[ch], r.pi[ch]) << "channel " << ch;
        EXPECT_EQ(off[ch], r.off[ch]) << "channel " << ch;
        EXPECT_EQ(plus[ch], r.plus[ch]) << "channel " << ch;
        EXPECT_EQ(eko[ch], r.eko[ch]) << "channel " << ch;
        EXPECT_TRUE(std::equal(r.ring[ch].begin(), r.ring[ch].end(), echo[ch])) << "ring of channel " << ch;
    }
}

class Reference : public Velk {
protected:
    void TearDown() override {
        for (int ch = 1; ch <= nchan; ++ch)
            for (int e = tail_from; e < tail_to; ++e) instr[ch][e] = 0;
        Velk::TearDown();
    }

    // Block entries beyond every rendered instrument (the longest renders 40007), up to and past
    // the 44100th, where a note falls silent.
    static constexpr int tail_from = 41000, tail_to = 44400;

    // Plays the loaded song both ways for the given samples.
    outcome play(int64_t samples) {
        const outcome o = compare(ref, samples);
        EXPECT_EQ(o.first, -1) << describe(o);
        expect_same_state(ref);
        return o;
    }

    // Tracks for channels 1 to 10 (null or left out: one empty step, then the track ends) over
    // patterns 1 to 3; pattern 4 is the empty step.
    void load(std::initializer_list<const uint8_t*> tracks, std::initializer_list<const uint8_t*> pats) {
        static const uint8_t empty[] = {c_empty, c_end};
        static const uint8_t idle[] = {4, c_end};
        int ch = 1;
        for (const uint8_t* t : tracks) trak[ch++] = t ? t : idle;
        while (ch <= nchan) trak[ch++] = idle;
        int n = 1;
        for (const uint8_t* p : pats) ptn[n++] = p;
        ASSERT_LE(n, 4);
        while (n < 5) ptn[n++] = empty;
    }

    ref_synth ref;
};

TEST_F(Reference, WholeSong) {
    const outcome o = play(song_samples);
    EXPECT_GT(o.sounding, song_samples / 2);
    EXPECT_GT(o.clamped, 0);
}

// The counter is 32-bit: at its wrap a row starts early and both ring positions jump.
TEST_F(Reference, WholeSongAcrossTheCounterWrap) {
    const uint32_t start = (0xFFFFFFFFu / ref_row - 3) * ref_row;  // three rows and a part before the wrap
    counter = start;
    ref.counter = start;
    const outcome o = play(12 * int64_t(ref_row));
    EXPECT_GT(o.sounding, 4 * int64_t(ref_row));
    EXPECT_EQ(counter, start + 12 * ref_row);
}

TEST_F(Reference, Stop) {
    static const uint8_t pa[] = {c_echo1, 25, 0, c_stop, 0, 0, 30, c_stop, 0, c_end};
    static const uint8_t pb[] = {13, 0, c_stop, 37, c_end};
    static const uint8_t t1[] = {1, c_loop};
    static const uint8_t t2[] = {2, 2, c_loop};
    load({t1, t2}, {pa, pb});
    const outcome o = play(30 * int64_t(ref_row));
    EXPECT_GT(o.sounding, 10 * int64_t(ref_row));
}

TEST_F(Reference, EchoOff) {
    static const uint8_t pa[] = {c_echo1, 25, 0, c_echo0, 0, 37, c_echo1, 0, c_echo0, 0, c_end};
    static const uint8_t pb[] = {49, c_echo1, c_echo0, 40, c_echo1, 0, c_end};
    static const uint8_t t1[] = {1, c_loop};
    static const uint8_t t2[] = {2, c_loop};
    load({t1, nullptr, t2}, {pa, pb});
    const outcome o = play(30 * int64_t(ref_row));
    EXPECT_GT(o.sounding, 10 * int64_t(ref_row));
}

// Channel 1 takes three rows, then its last note and its echo play out.
TEST_F(Reference, TrackWithEndMarker) {
    static const uint8_t pa[] = {c_echo1, 13, c_end};
    static const uint8_t pb[] = {49, c_end};
    static const uint8_t pc[] = {0, 44, 0, 0, c_end};
    static const uint8_t t1[] = {1, 2, c_end};
    static const uint8_t t2[] = {3, c_loop};
    load({t1, t2}, {pa, pb, pc});
    const outcome o = play(20 * int64_t(ref_row));
    EXPECT_EQ(ti[1], -2);
    EXPECT_GT(o.sounding, 4 * int64_t(ref_row));
}

// Note 1 (32 Hz) sounds for many rows, note 72 (1976 Hz) for less than one: it runs through its
// whole block up to entry 44100 within 5848 samples. Notes 70 and 53 last reach entry 44100 in a
// step that ends just past it (by 0.68 and 0.03 of an entry), so one sample too many is heard.
TEST_F(Reference, NotesAtBothEndsOfTheTable) {
    static const uint8_t pa[] = {1, 0, 72, 0, 70, 1, 53, 0, 0, 0, c_end};
    static const uint8_t pb[] = {c_echo1, 72, 0, 0, 1, c_end};
    static const uint8_t t1[] = {1, c_loop};
    static const uint8_t t2[] = {2, 1, c_loop};
    load({t1, t2, t1, nullptr, t2, nullptr, nullptr, t1, t2, t1}, {pa, pb});
    // Past the rendered sound the blocks hold zeros: give the entries around 44100 a sound, so
    // that where a note stops reading is heard.
    for (int ch = 1; ch <= nchan; ++ch)
        for (int e = tail_from; e < tail_to; ++e) instr[ch][e] = 3000 * (e % 7) - 9000 + ch;
    const outcome o = play(40 * int64_t(ref_row));
    EXPECT_GT(o.sounding, 30 * int64_t(ref_row));
}

}  // namespace
