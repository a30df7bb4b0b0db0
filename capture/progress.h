#pragma once
// The progress of a capture on standard error: on a terminal a bar redrawn in place, otherwise
// one line per tenth of the work.
#include <cstddef>
#include <cstdint>

// Formats one report: frames done of total, percent, frames per second, elapsed time, time
// left (`left` seconds, negative while unknown), and how many times faster than real time the
// capture runs (video seconds per second spent). With `width` > 0 it is a terminal's line: a
// bar comes first and the line is kept under `width` columns, the bar shortened and then the
// fields that matter least dropped first (real time, rate, elapsed, bar, frame count); percent
// and time left stay, spelt shorter on the narrowest terminals ("49% 1:40"), and no field is ever
// cut. With `width` 0, the whole line without a bar. Returns out.
char* progress_line(char* out, size_t len, int64_t done, int64_t total, int fps, double elapsed, double left,
                    int width);

// Starts reporting a capture of `total` frames at fps (the wall clock starts here); the time
// left comes from eta_left (eta.h), planned beforehand.
void progress_start(int64_t total, int fps);

// `done` frames are finished.
void progress_step(int64_t done);

// Ends the bar's line, if one is on screen, so that other messages start on a line of their own.
void progress_break();
