#pragma once
// Drawing without a display: an OpenGL compatibility context from EGL on Mesa's surfaceless
// platform, rendering into framebuffer objects of the capture's size. Two of them take turns, so
// the renderer's threads rasterise one frame while the next is being given to them.
#include <cstdint>

// Where the 4:3 picture goes in a w x h frame: as large as fits, centred, never stretched.
void picture_box(int w, int h, int* x, int* y, int* pw, int* ph);

// Creates the context and two w x h framebuffers (colour and 24-bit depth, as the intro's window
// has), cleared to black, with the viewport on the picture. False after reporting the step.
bool gl_open(int w, int h);

// Frame n is drawn into framebuffer n % 2 from now on.
void gl_draw_to(int64_t n);

// Frame n is completely given: the renderer may start on it while the next is being drawn.
void gl_done(int64_t n);

// Waits for frame n (given gl_done) and reads it as w x h RGBA pixels, top row first, as a
// picture is read and as both the stills and the video take it. A framebuffer keeps its last
// frame: only a frame at timeline 0 draws nothing, and it finds the framebuffer still black.
void gl_read(int64_t n, uint8_t* rgba);

void gl_close();
