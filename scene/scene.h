#pragma once
// The intro's picture: one call of magic per pass of the frame loop.
#include <cstdint>

// Draws the frame for timeline time t (ms since playback started), at most one per 10 ms slot;
// sleeps 1 ms instead when the slot's frame is already drawn; draws nothing before the first
// audio buffer is published. Raises quitnow once a frame past the end of the timeline is drawn.
void magic(int32_t t);

// Puts the scene back as the program starts it: no frame drawn yet, the camera not risen, quitnow
// clear, every layer's grid empty. For programs that run the show more than once (tests, benchmarks).
void scene_reset();

extern uint8_t quitnow;  // 1: leave the frame loop (end of timeline or quit input); never reset
