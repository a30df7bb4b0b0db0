#pragma once
// The time a capture has left. A frame of layers 2 and 3 costs some 25 times one of layer 4
// while it grows, so frames done are a poor measure of the work done: each frame is weighed
// instead by what the scene will draw in it (its layers and their cells, known in advance from
// the schedule) and what coding it costs, and the rate measured recently is applied to the
// weight that is left.
#include <cstdint>

// Cells drawn at timeline ms t by each of the four layers (0 for a layer not drawn then).
void layer_cells(int32_t t, int32_t cells[4]);

// Cost of the frame at t in CPU ms: drawing and reading back the layers at w x h, plus coding
// it, `per_frame` being the coder's cost for a full picture at 1280x720 (coding_cost).
double frame_cost(int32_t t, int w, int h, double per_frame);

// What becomes of the frames, for their cost.
enum coder { coder_png, coder_x264, coder_ffv1 };

// CPU ms to code one 1280x720 frame of the show with its layers in view, for frame_cost;
// `preset` is x264's.
double coding_cost(coder c, const char* preset);

// Plans a capture of frames first to last - 1 at fps, w x h, with `per_frame` as above.
void eta_plan(int64_t first, int64_t last, int fps, int w, int h, double per_frame);

// Records that `done` frames of the plan were finished `elapsed` seconds after the start; called
// as frames finish (at most one record a second is kept).
void eta_note(int64_t done, double elapsed);

// Seconds left once `done` frames are finished after `elapsed` seconds: the weight left at the
// rate of the last minute (recorded by eta_note; since the start before a minute has gone by),
// so that a machine that other work slows down or frees is followed. Negative while too little
// is done to tell.
double eta_left(int64_t done, double elapsed);
