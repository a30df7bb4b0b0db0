#pragma once
// The intro's picture: one call of magic per pass of the frame loop.
#include <cstdint>

// Draws the frame for timeline time t (ms since playback started), at most one per 10 ms slot;
// sleeps 1 ms instead when the slot's frame is already drawn; draws nothing before the first
// audio buffer is published. Raises quitnow once a frame past the end of the timeline is drawn.
// A frame is its state step (scene_step) and the drawing from that state.
void magic(int32_t t);

// What magic's frame at t changes, without drawing it: the slot, the camera and its rise, the
// layers' growth and the end. t must come after lasttick.
void scene_step(int32_t t);

// Steps through every 10 ms slot before t's own, each at its first millisecond, as a live run at
// the full frame cap draws them (slots already past are left alone); magic(t) then draws t's own
// frame as that run would. So a program on its own clock (the capture, the page) brings the
// scene to any moment without drawing the frames in between.
void scene_catch_up(int32_t t);

// Puts the scene back as the program starts it: no frame drawn yet, the camera not risen, quitnow
// clear, every layer's grid empty. For programs that run the show more than once (tests, benchmarks).
void scene_reset();

extern uint8_t quitnow;  // 1: leave the frame loop (end of timeline or quit input); never reset
