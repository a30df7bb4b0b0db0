#pragma once
// State of the scene function magic, kept from frame to frame, and the times that pace it.
#include <cstdint>

extern int32_t lasttick;  // ms: end of the 10 ms slot of the last drawn frame; a multiple of 10
extern float add;         // camera rise in world units, grows per drawn frame after 80 s
extern float cam;         // camera height of the latest drawn frame, world units

inline constexpr int32_t slot_ms = 10;  // the scene draws at most one frame per slot of this many ms

// Last timeline ms of the show: the first frame drawn after it raises quitnow. Programs that
// pace the scene themselves (the capture) need it to know how many frames the show has.
inline constexpr int32_t end_ms = 115999;
