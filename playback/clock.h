#pragma once
// The frame clock of the programs that play the show on a clock of their own (the capture's
// fixed frame rate, the page's sound position). Frame n stands at n * 1000 / fps ms of the
// timeline; the wall clock is never read. Each frame is what a live run at the full frame cap
// (one frame drawn in every 10 ms slot) shows when it draws at that moment: every earlier slot
// has had its frame, stepped at its first millisecond (scene_catch_up), and the frame of the
// moment's own slot is drawn at the moment itself.
#include <cstdint>

#include "../scene/gfx.h"

inline constexpr int max_fps = 100;  // one frame per 10 ms slot: above this frames would repeat

// Timeline ms of frame n at fps frames per second, rounded down.
int32_t frame_ms(int64_t n, int fps);

// Frames of the whole show at fps: up to and including the first frame past the timeline's end,
// the one that raises quitnow (6961 at 60 fps).
int64_t show_frames(int fps);

// First frame at or after ms (ms >= 0).
int64_t frame_at(int32_t ms, int fps);

// Sample frames of the music from the start up to frame n: ceil(n * 44100 / fps).
int64_t samples_before(int64_t n, int fps);

// Brings the scene to timeline time t, which must come after every time given before: each 10 ms
// slot before t's own is stepped, then the frame at t drawn through `draw` with the scope block of
// that moment published (music.h).
void shoot(int32_t t, const gl_slots& draw);
