#pragma once
#include <cstdint>

// SDL video flags for intro-port's window: full screen unless the first argument is exactly "-w";
// a program name ending in 'w' flips the choice either way.
uint32_t window_flags(int argc, const char* const* argv);
