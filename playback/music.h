#pragma once
// The music, rendered offline into memory by the chosen synthesizer through the very calls its
// audio device makes, and the scope each of those calls published, taken from the render, so the
// picture can be shown with the buffer the live show would have published at any moment.
#include <cstdint>
#include <vector>

#include "../scene/scope.h"

inline constexpr int64_t sample_rate = 44100;  // sample frames per second of both synthesizers
inline constexpr int block_len = 1024;          // sample frames per audio callback

enum synth_kind { synth_port, synth_tiny };

extern int channels;                      // 2 for the port's stereo float synthesizer, 1 for the tiny's mono
extern std::vector<int16_t> pcm;          // rendered sample frames, interleaved when stereo
extern int64_t nblocks;                   // blocks rendered

// Renders blocks from the song's start until at least `frames` sample frames and the block of
// timeline time last_ms are done. Returns false, with the song's complaint in why, if the
// synthesizer cannot play its song.
bool render_music(synth_kind s, int64_t frames, int32_t last_ms, const char** why);

// Block whose scope the picture sees at timeline time t ms: the block that starts playing at
// or before t, floor(t * 44100 / 1024000).
int64_t block_at(int32_t t);

// That block's scope, as its callback published it: the block's first 1024 samples (512 stereo
// frames of the port, 1024 mono samples of the tiny). The last rendered block for times past the
// render; null before any render. The buffer is the same one at every call.
scope_buf* scope_at(int32_t t);
