#pragma once
// The text song format: its parser, which reads a text into the song model (model.h) and has the
// synthesizer render every instrument as its line is read, and the built-in song.
#include "model.h"

namespace port {

// Message naming the line of the last rejected song ("song line 12: ..."); empty after a good parse.
extern char song_error[160];

// The built-in song: 25 lines, each ended by a line feed.
extern const char song_text[];

// Reads a song text into the model, rendering every instrument as its line is read. Edits the
// text in place. Needs synth_start to have run. Returns 0, or 1 for a song the model cannot play
// or whose instrument lines would render more than 2^23 samples in all (song_error names the
// line); a rejected song must not be played.
int parse_song(char* text);

// Copies the built-in song into a writable buffer and parses it; result as parse_song.
int parse_builtin_song();

}  // namespace port
