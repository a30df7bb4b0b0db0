#pragma once
// The scene's GL slots while the capture draws a frame: each glBegin...glEnd batch
// is collected into client arrays and drawn with one call, which gives the same pixels as
// immediate mode without its per-vertex cost. The scene's delay slot does nothing: the capture
// never waits.
#include "../scene/gfx.h"

extern const gl_slots batch_slots;  // batches drawn from client arrays, the rest passed to GL

// Vertices one draw call holds; a longer batch is drawn in several calls of whole quads.
// 158404 is layer 4 at its full size: 199 x 199 cells of four vertices.
inline constexpr int batch_max = 158404;
