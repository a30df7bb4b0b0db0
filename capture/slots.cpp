// The scene's slots as intro-capture holds them: the clock copies the idle or the batching
// table into gslots before each call of the scene (kept apart from those tables, so a test
// driver can bring its own slots and still use them).
#include "../scene/gfx.h"

namespace {
void none() {}
void no_delay(uint32_t) {}  // the capture never waits: its clock is not the wall clock
void none_u(unsigned) {}
void none_3f(float, float, float) {}
void none_4f(float, float, float, float) {}
void none_6d(double, double, double, double, double, double) {}
}

gl_slots gslots = {.begin = none_u, .end = none, .vertex3f = none_3f, .matrixmode = none_u,
                   .loadidentity = none, .clear = none_u, .color3f = none_3f, .rotatef = none_4f,
                   .translatef = none_3f, .enable = none_u, .frustum = none_6d};
sdl_slots sslots = {.delay = no_delay};
