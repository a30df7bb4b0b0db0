#pragma once
// A slot table whose GL calls do nothing: the scene advanced without drawing.
#include "../scene/gfx.h"

extern const slot idle_table[g_count];
