#pragma once
// The scene's GL slots on WebGL: the matrix stacks kept here (matrix.h), each glBegin...glEnd
// batch collected and handed to the page as one array of vertices, drawn there as indexed
// triangles in one call.
#include "../scene/gfx.h"

// The WebGL backend's slots (sslots' delay is a no-op: the page never waits).
extern const gl_slots webgl_slots;

// Points gslots at them.
void use_webgl();

// Fills gslots with slots that do nothing: the scene's CPU side alone (the frame benchmark).
void use_idle();

// Vertices the page can draw in one call (a multiple of 4: batches are split at whole quads).
// 65536 with 16-bit indices, more where 32-bit indices are available.
void set_batch_cap(int verts);
