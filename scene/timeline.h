#pragma once
// State of the scene function magic, kept from frame to frame.
#include <cstdint>

extern int32_t lasttick;  // ms: end of the 10 ms slot of the last drawn frame; a multiple of 10
extern float add;         // camera rise in world units, grows per drawn frame after 80 s
extern float cam;         // camera height of the latest drawn frame, world units
