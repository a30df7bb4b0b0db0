#pragma once
// The four ripple grid layers. Each draws one GL_QUADS batch for timeline time t (ms) and
// leaves its own offset multiplied onto the modelview matrix. Needs smp published.
#include <cstdint>

void draw1(int32_t t);
void draw2(int32_t t);
void draw3(int32_t t);
void draw4(int32_t t);

// Grid half-size N of each layer: cells run from -N to N on both axes.
extern int32_t halfsize1;
extern int32_t halfsize2;
extern int32_t halfsize3;
extern int32_t halfsize4;
