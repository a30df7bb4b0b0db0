#pragma once
// The capture's fixed clock. Frame n stands at n * 1000 / fps ms of the timeline; the wall clock
// is never read. Each captured frame is what a live run at the full frame cap (one frame drawn in
// every 10 ms slot) shows when it draws at that moment: every earlier slot has had its frame,
// drawn at its first millisecond with the GL slots pointed at no-ops, and the frame of the
// moment's own slot is drawn at the moment itself.
#include <cstdint>

#include "../scene/gfx.h"

// Every GL call ignored, each slot a no-op of exactly its own type: the slots a frame that is not
// captured is drawn through.
extern const gl_slots idle_slots;

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
// slot before t's own is drawn at its first millisecond through idle, then the frame at t through
// draw. The scope block of each time is published before the scene sees it (music.h).
void shoot(int32_t t, const gl_slots& idle, const gl_slots& draw);
