#pragma once
// Shared set-up: the synthesizer at its program-start state with every table built, and a way to
// render output offline exactly as the audio callback produces it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../../synth_fixed/velk_reset.h"
#include "../../synth_fixed/velk_tiny.h"

namespace tiny {

class Velk : public ::testing::Test {
protected:
    void SetUp() override {
        velk_reset();
        velk_init();
    }
    // Rebuilds what a test may have changed: patched song pointers, overwritten blocks.
    void TearDown() override {
        for (int i = 0; i < nblk; ++i) trak[i] = saved_trak[i];
        for (int i = 0; i < 5; ++i) ptn[i] = saved_ptn[i];
        velk_reset();
        velk_init();
    }

    // The next n output samples, rendered in one call.
    static std::vector<int16_t> render(int n) {
        std::vector<uint8_t> buf(2 * size_t(n));
        velk_play(nullptr, buf.data(), 2 * n);
        std::vector<int16_t> out(n);
        for (int k = 0; k < n; ++k) out[k] = int16_t(buf[2 * k] | buf[2 * k + 1] << 8);
        return out;
    }

    // Channel 1 alone plays track trk over patterns pats (numbered from 1); the others are ended.
    void solo(const uint8_t* trk, std::initializer_list<const uint8_t*> pats) {
        trak[1] = trk;
        int n = 1;
        for (const uint8_t* p : pats) ptn[n++] = p;
        for (int ch = 2; ch <= nchan; ++ch) ti[ch] = -2;
    }

    // Every channel ended: only what a test puts into the echo rings or the play positions sounds.
    static void mute_rows() {
        for (int ch = 1; ch <= nchan; ++ch) ti[ch] = -2;
    }

private:
    const uint8_t* saved_trak[nblk] = {trak[0], trak[1], trak[2], trak[3], trak[4], trak[5],
                                       trak[6], trak[7], trak[8], trak[9], trak[10]};
    const uint8_t* saved_ptn[5] = {ptn[0], ptn[1], ptn[2], ptn[3], ptn[4]};
};

}  // namespace tiny
