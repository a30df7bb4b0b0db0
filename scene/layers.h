#pragma once
// The four ripple grid layers. Each draws one GL_QUADS batch for timeline time t (ms) at its
// half-size (halfsize, timeline.h, as the step left it) and leaves its own offset multiplied onto
// the modelview matrix. Needs smp published.
#include <cstdint>

void draw1(int32_t t);
void draw2(int32_t t);
void draw3(int32_t t);
void draw4(int32_t t);

