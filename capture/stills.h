#pragma once
// Frames as PNG stills, DIR/000000.png numbered from 0 within the capture: thumbnails and
// material for tests. Each still is complete or absent; a failed capture removes its stills.
#include <cstdint>

// Makes the directory if needed (its parent must exist). False after reporting.
bool stills_open(const char* dir);

// Writes still number n from a frame as gl_read gives it (top row first). False after reporting.
bool still_write(int64_t n, const uint8_t* rgba, int w, int h);

// Removes the stills of this run (and the directory if this run made it and it is empty).
void stills_discard();
