#pragma once
// The scope: the latest 16-bit samples the audio thread produced, as the picture reads them.
#include <atomic>
#include <cstdint>

// The picture reads indices 0..1023 only: 512 stereo frames in intro-port, 1024 mono samples in intro-tiny.
inline constexpr int scope_len = 1024;

// Samples are relaxed atomics so the picture may read while the audio thread writes:
// a frame may mix two audio buffers (as reading the device buffer live would), but never races.
struct scope_buf {
    std::atomic<int16_t> v[scope_len];
};

// Scope reference: null until the audio thread publishes its first buffer, then never null again.
extern std::atomic<scope_buf*> smp;
