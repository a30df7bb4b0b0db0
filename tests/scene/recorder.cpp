#include "recorder.h"

#include "../../scene/scene.h"

std::vector<call> calls;
void (*on_call)(const call&);

namespace {
void put(int fn, double a0 = 0, double a1 = 0, double a2 = 0, double a3 = 0, double a4 = 0, double a5 = 0)
{
    calls.push_back({fn, {a0, a1, a2, a3, a4, a5}});
    if (on_call)
        on_call(calls.back());
}

void r_begin(unsigned m) { put(g_begin, m); }
void r_end() { put(g_end, quitnow); }
void r_vertex(float x, float y, float z) { put(g_vertex3f, x, y, z); }
void r_matrixmode(unsigned m) { put(g_matrixmode, m); }
void r_loadidentity() { put(g_loadidentity); }
void r_clear(unsigned m) { put(g_clear, m); }
void r_color(float r, float g, float b) { put(g_color3f, r, g, b); }
void r_rotate(float a, float x, float y, float z) { put(g_rotatef, a, x, y, z); }
void r_translate(float x, float y, float z) { put(g_translatef, x, y, z); }
void r_enable(unsigned c) { put(g_enable, c); }
void r_frustum(double l, double r, double b, double t, double n, double f) { put(g_frustum, l, r, b, t, n, f); }
void r_sdl_delay(uint32_t ms) { put(r_delay, ms); }

}

gl_slots gslots = {.begin = r_begin, .end = r_end, .vertex3f = r_vertex, .matrixmode = r_matrixmode,
                   .loadidentity = r_loadidentity, .clear = r_clear, .color3f = r_color, .rotatef = r_rotate,
                   .translatef = r_translate, .enable = r_enable, .frustum = r_frustum};
sdl_slots sslots = {.delay = r_sdl_delay};

void rec_reset()
{
    calls.clear();
    on_call = nullptr;
}

int count(int fn)
{
    int n = 0;
    for (const call& c : calls)
        n += c.fn == fn;
    return n;
}

std::vector<int> layers_drawn()
{
    std::vector<int> out;
    int layer = 1;  // a batch with no layer offset before it is layer 1
    for (const call& c : calls) {
        // The camera and scene offsets have x = 0; the layers' own offsets do not.
        if (c.fn == g_translatef && c.a[0] != 0)
            layer = c.a[0] == -20 ? 3 : c.a[1] == -50 ? 4 : 2;
        else if (c.fn == g_begin) {
            out.push_back(layer);
            layer = 1;
        }
    }
    return out;
}

std::vector<cell> cells_of(int batch)
{
    std::vector<cell> out;
    int seen = -1;
    bool in = false;
    int vert = 0;
    for (const call& c : calls) {
        if (c.fn == g_begin)
            in = ++seen == batch;
        else if (c.fn == g_end)
            in = false;
        else if (in && c.fn == g_color3f) {
            out.push_back({float(c.a[0]), float(c.a[1]), float(c.a[2]), {}});
            vert = 0;
        } else if (in && c.fn == g_vertex3f && !out.empty() && vert < 4) {
            for (int n = 0; n < 3; n++)
                out.back().v[vert][n] = float(c.a[n]);
            vert++;
        }
    }
    return out;
}
