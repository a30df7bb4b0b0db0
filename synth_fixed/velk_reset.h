#pragma once
// Returns the synthesizer's mutable state to its values at program start, so one process can
// render the song more than once. Not part of intro-tiny.
namespace tiny {
void velk_reset();
}
