#pragma once
// Every OpenGL call the scene makes, and its one SDL call, go through these slot tables, so one
// scene serves every backend: intro-port fills them with the linked functions, intro-tiny binds
// them by name at run time, intro-capture points them at its batching or idle stand-ins, and the
// tests and benchmarks at recorders and no-ops.
//
// Each table is a struct of function pointers typed as the library declares the function, so a
// filler that puts a function of the wrong type in a slot fails to compile; fillers name the
// slots (designated initialisers), so a misordered entry fails too. intro-tiny's binder fills
// the tables by position from its name lists: the enums give each slot's position, and the
// static_asserts below keep the structs laid out as exactly those pointers in that order.
#include <cstddef>
#include <cstdint>

struct audio_spec;  // SDL 1.2's audio request record, as intro-tiny declares it (shell/tiny/bind.h)

// OpenGL entry points, in the order of the run-time binder's name list.
struct gl_slots {
    void (*begin)(unsigned mode);
    void (*end)();
    void (*vertex3f)(float x, float y, float z);
    void (*matrixmode)(unsigned mode);
    void (*loadidentity)();
    void (*clear)(unsigned mask);
    void (*color3f)(float r, float g, float b);
    void (*rotatef)(float angle, float x, float y, float z);
    void (*translatef)(float x, float y, float z);
    void (*enable)(unsigned cap);
    void (*frustum)(double left, double right, double bottom, double top, double znear, double zfar);
};

// SDL entry points, likewise. The scene itself uses only delay, which comes first so that a
// program that calls SDL directly need fill only that one (the rest default to null). The last
// three serve intro-tiny's start-up checks only (getenv is the C library's, found through SDL's
// own dependencies).
struct sdl_slots {
    void (*delay)(uint32_t ms);
    int (*init)(uint32_t flags) = nullptr;
    void (*quit)() = nullptr;
    void* (*setvideomode)(int w, int h, int bpp, uint32_t flags) = nullptr;
    int (*showcursor)(int toggle) = nullptr;
    uint32_t (*getticks)() = nullptr;
    void (*swapbuffers)() = nullptr;
    int (*pollevent)(void* event) = nullptr;
    int (*openaudio)(audio_spec* want, audio_spec* got) = nullptr;
    void (*pauseaudio)(int pause_on) = nullptr;
    char* (*videodrivername)(char* buf, int len) = nullptr;
    char* (*geterror)() = nullptr;
    char* (*getenv)(const char* name) = nullptr;
};

// Position of each slot in its table (and of its name in the binder's list); the test recorders
// also use the g_* values to tell the recorded calls apart.
enum { g_begin, g_end, g_vertex3f, g_matrixmode, g_loadidentity, g_clear, g_color3f,
       g_rotatef, g_translatef, g_enable, g_frustum, g_count };
enum { s_delay, s_init, s_quit, s_setvideomode, s_showcursor, s_getticks, s_swapbuffers,
       s_pollevent, s_openaudio, s_pauseaudio, s_videodrivername, s_geterror, s_getenv, s_count };

#define GFX_AT(table, field, pos) static_assert(offsetof(table, field) == (pos) * sizeof(void*), #field " out of place")
static_assert(sizeof(gl_slots) == g_count * sizeof(void*));
GFX_AT(gl_slots, begin, g_begin);
GFX_AT(gl_slots, end, g_end);
GFX_AT(gl_slots, vertex3f, g_vertex3f);
GFX_AT(gl_slots, matrixmode, g_matrixmode);
GFX_AT(gl_slots, loadidentity, g_loadidentity);
GFX_AT(gl_slots, clear, g_clear);
GFX_AT(gl_slots, color3f, g_color3f);
GFX_AT(gl_slots, rotatef, g_rotatef);
GFX_AT(gl_slots, translatef, g_translatef);
GFX_AT(gl_slots, enable, g_enable);
GFX_AT(gl_slots, frustum, g_frustum);
static_assert(sizeof(sdl_slots) == s_count * sizeof(void*));
GFX_AT(sdl_slots, delay, s_delay);
GFX_AT(sdl_slots, init, s_init);
GFX_AT(sdl_slots, quit, s_quit);
GFX_AT(sdl_slots, setvideomode, s_setvideomode);
GFX_AT(sdl_slots, showcursor, s_showcursor);
GFX_AT(sdl_slots, getticks, s_getticks);
GFX_AT(sdl_slots, swapbuffers, s_swapbuffers);
GFX_AT(sdl_slots, pollevent, s_pollevent);
GFX_AT(sdl_slots, openaudio, s_openaudio);
GFX_AT(sdl_slots, pauseaudio, s_pauseaudio);
GFX_AT(sdl_slots, videodrivername, s_videodrivername);
GFX_AT(sdl_slots, geterror, s_geterror);
GFX_AT(sdl_slots, getenv, s_getenv);
#undef GFX_AT

extern gl_slots gslots;   // OpenGL entry points, set before the first frame
extern sdl_slots sslots;  // SDL entry points, set before the first frame

inline void tlBegin(unsigned mode) { gslots.begin(mode); }
inline void tlEnd() { gslots.end(); }
inline void tlVertex3f(float x, float y, float z) { gslots.vertex3f(x, y, z); }
inline void tlMatrixMode(unsigned mode) { gslots.matrixmode(mode); }
inline void tlLoadIdentity() { gslots.loadidentity(); }
inline void tlClear(unsigned mask) { gslots.clear(mask); }
inline void tlColor3f(float r, float g, float b) { gslots.color3f(r, g, b); }
inline void tlRotatef(float a, float x, float y, float z) { gslots.rotatef(a, x, y, z); }
inline void tlTranslatef(float x, float y, float z) { gslots.translatef(x, y, z); }
inline void tlEnable(unsigned cap) { gslots.enable(cap); }
inline void tlFrustum(double l, double r, double b, double t, double n, double f) { gslots.frustum(l, r, b, t, n, f); }
inline void TDL_Delay(uint32_t ms) { sslots.delay(ms); }
