// The WebGL backend of the scene's slot table. Matrices are computed here; the page's script
// (imported below) clears, enables the depth test and draws each batch with the current matrices.
#include "webgl.h"

#include "../scene/idle.h"
#include "../scene/timeline.h"
#include "matrix.h"

#include <cstdint>

// A vertex as the page's shader reads it: the position as given, the colour current with it as
// 8-bit channels. The fixed function clamps a colour and writes it to the 8-bit framebuffer
// rounded, so with one colour per quad the pixels are the same, for two thirds of the bytes.
struct vertex {
    float x, y, z;
    uint8_t rgba[4];
};
static_assert(sizeof(vertex) == 16, "the page's vertex layout");

// Provided by the page (web/lib.js).
extern "C" {
void js_clear(unsigned mask);
void js_enable(unsigned cap);
// n vertices (n a multiple of 4) at verts; proj and view column-major.
void js_draw(const vertex* verts, int n, const float* proj, const float* view);
}

namespace {
vertex verts[max_verts];  // the batch being collected
int nverts;
int cap = 65536;          // vertices per draw call the page can index
uint8_t cur[4] = {0, 0, 0, 255};  // current colour

uint8_t channel(float c)
{
    c = c < 0 ? 0 : c > 1 ? 1 : c;  // also a NaN to 0
    return static_cast<uint8_t>(c * 255 + 0.5f);
}

void flush()
{
    if (nverts > 0)
        js_draw(verts, nverts, proj, view);
    nverts = 0;
}

void w_begin(unsigned) { nverts = 0; }  // the scene draws GL_QUADS only
void w_end() { flush(); }

void w_vertex(float x, float y, float z)
{
    if (nverts == cap)
        flush();  // cap is a multiple of 4: whole quads in every call
    verts[nverts++] = {x, y, z, {cur[0], cur[1], cur[2], cur[3]}};
}

void w_color(float r, float g, float b)
{
    cur[0] = channel(r);
    cur[1] = channel(g);
    cur[2] = channel(b);
}

void w_clear(unsigned mask) { js_clear(mask); }
void w_enable(unsigned c) { js_enable(c); }
void w_mode(unsigned m) { m_mode(m); }
void w_identity() { m_identity(); }
void w_rotate(float a, float x, float y, float z) { m_rotate(a, x, y, z); }
void w_translate(float x, float y, float z) { m_translate(x, y, z); }
void w_frustum(double l, double r, double b, double t, double n, double f) { m_frustum(l, r, b, t, n, f); }

}

const gl_slots webgl_slots = {.begin = w_begin, .end = w_end, .vertex3f = w_vertex, .matrixmode = w_mode,
                              .loadidentity = w_identity, .clear = w_clear, .color3f = w_color,
                              .rotatef = w_rotate, .translatef = w_translate, .enable = w_enable,
                              .frustum = w_frustum};

// The slots' types are the functions' own: wasm would trap on a call through another signature.
gl_slots gslots;
sdl_slots sslots = no_wait;

void use_webgl() { gslots = webgl_slots; }

void use_idle() { gslots = idle_slots; }

void set_batch_cap(int v)
{
    v -= v % 4;
    cap = v < 4 ? 4 : v > max_verts ? max_verts : v;
}
