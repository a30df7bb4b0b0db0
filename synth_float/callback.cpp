// The audio device's callback, and the scope the picture reads from it.
#include <algorithm>
#include <atomic>

#include "../scene/scope.h"
#include "synth.h"

namespace port {

namespace {
scope_buf scope;  // copy of the first 1024 samples (512 stereo frames) of the latest buffer
}

void audio_callback(void*, uint8_t* stream, int len)
{
    // Published before the fill: the picture may show the previous buffer's samples meanwhile.
    smp.store(&scope, std::memory_order_release);
    int16_t* frames = reinterpret_cast<int16_t*>(stream);
    mix_frames(frames, len / 4);  // 4 bytes a frame: two 16-bit samples
    const int n = std::min(len / 4 * 2, scope_len);
    for (int i = 0; i < n; i++)
        scope.v[i].store(frames[i], std::memory_order_relaxed);
}

}  // namespace port
