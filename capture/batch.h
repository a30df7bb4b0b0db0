#pragma once
// The scene's GL slots while the capture draws a frame: each glBegin...glEnd batch
// is collected into client arrays and drawn with one call, which gives the same pixels as
// immediate mode without its per-vertex cost. The scene's delay slot does nothing: the capture
// never waits.
#include "../scene/gfx.h"
#include "../scene/timeline.h"

extern const gl_slots batch_slots;  // batches drawn from client arrays, the rest passed to GL

// Vertices one draw call holds: the scene's largest batch (layer 4 at its full size); a longer
// batch would be drawn in several calls of whole quads.
inline constexpr int batch_max = max_verts;
