// The scene's slots as intro-capture holds them: the clock copies the batching table into gslots
// before each frame it draws (kept apart from that table, so a test driver can bring its own
// slots and still use it). The capture never waits: its clock is not the wall clock.
#include "../scene/idle.h"

gl_slots gslots = idle_slots;
sdl_slots sslots = no_wait;
