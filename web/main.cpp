// The page's entry points: the whole song rendered at start, and the scene brought to the
// playing moment once per animation frame. The page's script (page.js, gl.js, audio.js) calls these.
#include <emscripten.h>

#include "../playback/clock.h"
#include "../playback/music.h"
#include "../scene/scene.h"
#include "../scene/timeline.h"
#include "matrix.h"
#include "webgl.h"

namespace {
// The song is rendered past the end of the timeline: the last block holds end_ms + 1.
constexpr int64_t song_frames = (end_ms + 1) * sample_rate / 1000 + 1;
}

extern "C" {

// Renders the whole song with synthesizer s (0: the port's stereo float, 1: the tiny's mono
// fixed point). Returns 0, or the song's complaint.
EMSCRIPTEN_KEEPALIVE const char* v_render(int s)
{
    const char* why = "the synthesizer could not start";
    if (!render_music(s == 1 ? synth_tiny : synth_port, song_frames, end_ms + 1, &why))
        return why;
    return nullptr;
}

EMSCRIPTEN_KEEPALIVE const int16_t* v_pcm() { return pcm.data(); }
EMSCRIPTEN_KEEPALIVE int v_channels() { return channels; }
EMSCRIPTEN_KEEPALIVE int v_frames() { return static_cast<int>(nblocks * block_len); }

// Brings the scene to timeline time t and draws the frame there, if its slot has none yet.
// Times must not go back; rewind first to start again. Returns 1 once the show has ended.
EMSCRIPTEN_KEEPALIVE int v_frame(int t)
{
    shoot(t, webgl_slots);
    return quitnow;
}

EMSCRIPTEN_KEEPALIVE int v_last() { return lasttick; }

EMSCRIPTEN_KEEPALIVE void v_rewind()
{
    scene_reset();
    m_reset();
}

EMSCRIPTEN_KEEPALIVE void v_batch(int verts) { set_batch_cap(verts); }

// What the page's script must agree on with the wasm, read from here rather than restated.
EMSCRIPTEN_KEEPALIVE int v_rate() { return sample_rate; }       // sample frames per second
EMSCRIPTEN_KEEPALIVE int v_show_ms() { return end_ms + 1; }     // the show's length, ms
EMSCRIPTEN_KEEPALIVE int v_max_verts() { return max_verts; }    // the largest batch, vertices
}
