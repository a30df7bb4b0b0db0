#pragma once
// Frames as PNG stills, DIR/000000.png numbered from 0 within the capture: thumbnails and
// material for tests. They are written into a hidden folder beside DIR (.DIR.XXXXXX) that takes
// DIR's place only when the whole capture has succeeded, so a failed or stopped run leaves DIR as
// it was. An existing DIR is replaced only if it holds nothing but stills: a folder with anything
// else in it is refused.
#include <cstdint>

// Checks DIR (its parent must exist) and makes the hidden folder. False after reporting.
bool stills_open(const char* dir);

// Writes still number n from a frame as gl_read gives it (top row first). False after reporting.
bool still_write(int64_t n, const uint8_t* rgba, int w, int h);

// Puts the stills in DIR's place; an earlier capture's stills there are removed. False after
// reporting.
bool stills_commit();

// Removes the hidden folder and the stills of this run.
void stills_discard();
