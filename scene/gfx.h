#pragma once
// Every OpenGL call the scene makes, and its one SDL call, go through these slots. intro-port
// fills them with the linked functions, intro-tiny binds them by name at run time, and the
// tests fill them with recorders, so one scene serves all three.
#include <cstdint>

using slot = void (*)();

// OpenGL slots, in the order of the run-time binder's name table.
enum { g_begin, g_end, g_vertex3f, g_matrixmode, g_loadidentity, g_clear, g_color3f,
       g_rotatef, g_translatef, g_enable, g_frustum, g_count };
// SDL slots, likewise. The scene itself uses only s_delay, which comes first so that a program
// that calls SDL directly need fill only that one. The last three serve intro-tiny's start-up
// checks only (getenv is the C library's, found through SDL's own dependencies).
enum { s_delay, s_init, s_quit, s_setvideomode, s_showcursor, s_getticks, s_swapbuffers,
       s_pollevent, s_openaudio, s_pauseaudio, s_videodrivername, s_geterror, s_getenv, s_count };

extern slot gslots[g_count];  // OpenGL entry points, set before the first frame
extern slot sslots[s_count];  // SDL entry points, set before the first frame

template <typename F> inline F as(slot s) { return reinterpret_cast<F>(s); }

inline void tlBegin(unsigned mode) { as<void (*)(unsigned)>(gslots[g_begin])(mode); }
inline void tlEnd() { as<void (*)()>(gslots[g_end])(); }
inline void tlVertex3f(float x, float y, float z) { as<void (*)(float, float, float)>(gslots[g_vertex3f])(x, y, z); }
inline void tlMatrixMode(unsigned mode) { as<void (*)(unsigned)>(gslots[g_matrixmode])(mode); }
inline void tlLoadIdentity() { as<void (*)()>(gslots[g_loadidentity])(); }
inline void tlClear(unsigned mask) { as<void (*)(unsigned)>(gslots[g_clear])(mask); }
inline void tlColor3f(float r, float g, float b) { as<void (*)(float, float, float)>(gslots[g_color3f])(r, g, b); }
inline void tlRotatef(float a, float x, float y, float z) { as<void (*)(float, float, float, float)>(gslots[g_rotatef])(a, x, y, z); }
inline void tlTranslatef(float x, float y, float z) { as<void (*)(float, float, float)>(gslots[g_translatef])(x, y, z); }
inline void tlEnable(unsigned cap) { as<void (*)(unsigned)>(gslots[g_enable])(cap); }
inline void tlFrustum(double l, double r, double b, double t, double n, double f) {
    as<void (*)(double, double, double, double, double, double)>(gslots[g_frustum])(l, r, b, t, n, f);
}
inline void TDL_Delay(uint32_t ms) { as<void (*)(uint32_t)>(sslots[s_delay])(ms); }
