#pragma once
// Slot tables that do nothing, each slot a no-op of exactly its own type: for the scene run
// without a picture (benchmarks of its CPU side, drivers that bring their own slots for some
// calls only) and for a program that must never wait.
#include "gfx.h"

inline constexpr gl_slots idle_slots = {
    .begin = [](unsigned) {},
    .end = [] {},
    .vertex3f = [](float, float, float) {},
    .matrixmode = [](unsigned) {},
    .loadidentity = [] {},
    .clear = [](unsigned) {},
    .color3f = [](float, float, float) {},
    .rotatef = [](float, float, float, float) {},
    .translatef = [](float, float, float) {},
    .enable = [](unsigned) {},
    .frustum = [](double, double, double, double, double, double) {},
};

// The scene's one SDL call, SDL_Delay, returning at once: for programs not on the wall clock.
inline constexpr sdl_slots no_wait = {.delay = [](uint32_t) {}};
