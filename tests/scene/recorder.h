#pragma once
// Stand-ins for the OpenGL and SDL slots that record every call, so the scene runs without a
// GL context and its output can be checked call by call.
#include <cstdint>
#include <vector>

#include "../../scene/gfx.h"

inline constexpr int r_delay = 100;  // kind of a recorded SDL_Delay; GL calls use the g_* values

struct call {
    int fn;           // g_* slot index, or r_delay
    double a[6];      // arguments exactly as passed (floats widen exactly); glEnd records quitnow
};

extern std::vector<call> calls;  // every call since the last rec_reset, in order
extern void (*on_call)(const call&);  // if set, runs after each call is recorded

void rec_reset();

// Counts of one kind of call in `calls`.
int count(int fn);

// Layers drawn in the last frame, in order, told apart by their own offsets
// (layer 1 has none, so a glBegin with no offset of its own is layer 1).
std::vector<int> layers_drawn();

// One cell as recorded: its colour and four vertices.
struct cell {
    float r, g, b;
    float v[4][3];
};

// Cells between the n-th glBegin (from 0) and its glEnd.
std::vector<cell> cells_of(int batch);
