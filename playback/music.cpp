// Offline rendering: the synthesizer's own callback, called block after block into memory.
#include "music.h"

#include <algorithm>

#include "../song/song.h"
#include "../synth_fixed/velk_reset.h"
#include "../synth_fixed/velk_tiny.h"
#include "../synth_float/synth.h"

int channels = 2;
std::vector<int16_t> pcm;
int64_t nblocks;

namespace {
scope_buf shown;  // the scope of the moment the scene is brought to

// Puts a fresh synthesizer in place of whatever a previous render left, as at program start.
bool start(synth_kind s, const char** why)
{
    if (s == synth_tiny) {
        static bool built;  // the tables velk_init builds never change; build them once
        if (built)
            tiny::velk_reset();
        else
            tiny::velk_init();
        built = true;
        return true;
    }
    port::synth_start(static_cast<int>(sample_rate));
    if (port::parse_builtin_song() != 0) {
        *why = port::song_error;
        return false;
    }
    return true;
}
}

int64_t block_at(int32_t t) { return t * sample_rate / (block_len * int64_t{1000}); }

scope_buf* scope_at(int32_t t)
{
    if (nblocks == 0)
        return nullptr;  // nothing rendered: the scene waits, as for the first audio buffer
    // Both callbacks publish a copy of their buffer's first scope_len samples.
    const int16_t* block = &pcm[std::clamp<int64_t>(block_at(t), 0, nblocks - 1) * block_len * channels];
    for (int i = 0; i < scope_len; i++)
        shown.v[i].store(block[i], std::memory_order_relaxed);
    return &shown;
}

bool render_music(synth_kind s, int64_t frames, int32_t last_ms, const char** why)
{
    if (!start(s, why))
        return false;
    channels = s == synth_port ? 2 : 1;
    nblocks = std::max((frames + block_len - 1) / block_len, block_at(last_ms) + 1);
    pcm.assign(nblocks * block_len * channels, 0);
    const int bytes = block_len * channels * 2;  // 16-bit samples
    for (int64_t k = 0; k < nblocks; k++) {
        uint8_t* out = reinterpret_cast<uint8_t*>(&pcm[k * block_len * channels]);
        if (s == synth_port)
            port::audio_callback(nullptr, out, bytes);
        else
            tiny::velk_play(nullptr, out, bytes);
    }
    return true;
}
