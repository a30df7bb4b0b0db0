// The scene's slots as intro-capture holds them: the clock copies the idle or the batching
// table into gslots before each call of the scene (kept apart from those tables, so a test
// driver can bring its own slots and still use them).
#include "../scene/gfx.h"

namespace {
void none() {}
void no_delay(uint32_t) {}  // the capture never waits: its clock is not the wall clock
}

slot gslots[g_count] = {none, none, none, none, none, none, none, none, none, none, none};
slot sslots[s_count] = {reinterpret_cast<slot>(no_delay)};
