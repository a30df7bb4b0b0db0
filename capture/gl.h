#pragma once
// Drawing without a display: an OpenGL compatibility context from EGL on Mesa's surfaceless
// platform, rendering into a framebuffer object of the capture's size.
#include <cstdint>

extern int gl_w, gl_h;  // framebuffer size in pixels
extern int pic_x, pic_y, pic_w, pic_h;  // the 4:3 picture within it, bottom-left origin; black around it

// Where the 4:3 picture goes in a w x h frame: as large as fits, centred, never stretched.
void picture_box(int w, int h, int* x, int* y, int* pw, int* ph);

// Creates the context and a w x h framebuffer (colour and 24-bit depth, as the intro's window
// has), cleared to black, with the viewport on the picture. False after reporting the step.
bool gl_open(int w, int h);

// Reads the framebuffer as w x h RGBA pixels, bottom row first (OpenGL's order).
void gl_read(uint8_t* rgba);

// The renderer's name, for messages ("llvmpipe (LLVM ...)").
const char* gl_renderer();

void gl_close();
