#pragma once
// The page's frame clock: the scene brought to timeline time t as a live run at the full frame
// cap would have it, without the drawing of the slots in between (a tab that was hidden for a
// minute catches up at once).
#include <cstdint>

// Advances the scene's state through every 10 ms slot before t's own, as if each had had its
// frame drawn at its first millisecond: the pacing, the camera's rise and the layers' growth,
// nothing drawn. t must come after every time given before.
void advance(int32_t t);
