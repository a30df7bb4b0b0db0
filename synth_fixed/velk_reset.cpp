// Rewrites the state that velk_init and velk_play change back to its program-start values.
// The tables velk_init builds are left alone: rebuilding them gives the same values.
#include "velk_reset.h"

#include "../scene/scope.h"
#include "velk_tiny.h"

void tiny::velk_reset() {
    rndi = rnd_key;
    f_tmp = 0.0;
    counter = 0;
    for (int ch = 0; ch < nblk; ++ch) {
        ti[ch] = -1;
        pi[ch] = 0;
        off[ch] = silent;
        plus[ch] = 0;
        eko[ch] = 0;
        for (int e = 0; e < blk_len; ++e) echo[ch][e] = 0;
    }
    smp.store(nullptr, std::memory_order_relaxed);
}
