// Each slot a no-op of exactly its slot's type (wasm traps on a call through another signature).
#include "idle.h"

namespace {
void i_u(unsigned) {}
void i_v() {}
void i_3f(float, float, float) {}
void i_4f(float, float, float, float) {}
void i_6d(double, double, double, double, double, double) {}
template <typename F> slot sl(F f) { return reinterpret_cast<slot>(f); }
}

const slot idle_table[g_count] = {sl(i_u), sl(i_v), sl(i_3f), sl(i_u), sl(i_v), sl(i_u),
                                  sl(i_3f), sl(i_4f), sl(i_3f), sl(i_u), sl(i_6d)};
