// The ripple grid layers: one shared cell walk, four quad shapes.
#include "layers.h"

#include "gfx.h"
#include "scope.h"
#include "timeline.h"
#include "tools.h"

namespace {
constexpr unsigned gl_quads = 7;
constexpr double fine = 0.15;    // cell spacing of layers 1-3
constexpr double coarse = 0.25;  // cell spacing of layer 4
constexpr int32_t sweep_ms = 15000;  // the scope window widens to full over this many ms
constexpr int32_t kick = 20000;      // scope magnitude that moves a corner by one unit

enum shape { scaled, flat, pulled, sunk };  // layers 1, 2, 3, 4

// This frame's ripple height of the cells (a, b), 0 <= b <= a <= N: the height depends only on
// a² + b², so one octant serves all eight symmetric cells and saves 7 of 8 tangents.
double rings[max_half + 1][max_half + 1];

// Ripple height of cell (i, j) at time t, at wide precision: tan of the distance from the
// centre (0.19 per cell), the rings drifting outward as the squared distance grows by
// 0.0034321 per ms; tan's range mapped by *35 + 40, /100 to around 0.4 near its zeros.
double ripple(int32_t i, int32_t j, int32_t t)
{
    float sum = static_cast<float>(i * i + j * j + 0.0034321 * t);
    float arg = static_cast<float>(0.19 * tsqrtf(sum));
    return (ttanf(arg) * 35 + 40) / 100;
}

// Audio step of the next cell: the scope sample at read position p, mapped to -1, 0 or 1.
// smp is loaded per cell so a buffer published mid-frame shows in the remaining cells.
int32_t audio(int32_t& p, int32_t w)
{
    int32_t v = smp.load(std::memory_order_acquire)->v[p + scope_len / 2 - w / 2].load(std::memory_order_relaxed);
    p += 8;
    if (p >= w)
        p = 0;
    return v / kick;
}

void grid(int32_t n, int32_t t, double s, shape q)
{
    // Width of the scope window the cells sweep, centred on the middle of the buffer; closed
    // before 0 ms (a tick count that wrapped), where a negative width would read past the end.
    int32_t w = t >= sweep_ms ? scope_len : t <= 0 ? 0 : t * scope_len / sweep_ms;
    int32_t p = 0;
    if (n > max_half)
        n = max_half;
    for (int32_t a = 0; a <= n; a++)
        for (int32_t b = 0; b <= a; b++)
            rings[a][b] = ripple(a, b, t);
    tlBegin(gl_quads);
    for (int32_t i = -n; i <= n; i++) {
        float x0 = static_cast<float>(static_cast<float>(s * i) - s / 2);
        for (int32_t j = -n; j <= n; j++) {
            float z0 = static_cast<float>(s * j - s / 2);
            int32_t a = i < 0 ? -i : i;
            int32_t b = j < 0 ? -j : j;
            double hw = a < b ? rings[b][a] : rings[a][b];
            float h = static_cast<float>(hw);
            double blue = hw / 6;  // blue divides the height before it is rounded (layers 1-3)
            if (q == sunk) {
                h = -h;
                blue = h / 6;
            }
            int32_t k = audio(p, w);
            tlColor3f(h / 2, h / 4, static_cast<float>(blue));
            // The corner seen through the ripple: far out where h is near 0.
            float X = x0 / h;
            float Z = z0 / h;
            switch (q) {
            case scaled:
                tlVertex3f(X, static_cast<float>(0.1 * tcosf(h) + 0.1), Z);
                tlVertex3f(static_cast<float>(X + s), k, Z);
                tlVertex3f(static_cast<float>(X + s), k, static_cast<float>(Z + s));
                tlVertex3f(X, k, static_cast<float>(Z + s));
                break;
            case flat:
                tlVertex3f(x0, h, z0);
                tlVertex3f(static_cast<float>(X + s + k), 0, Z + k);
                tlVertex3f(static_cast<float>(X + s + k), 0, static_cast<float>(Z + s + k));
                tlVertex3f(X + k, 0, static_cast<float>(Z + s + k));
                break;
            case pulled:
                tlVertex3f(X, h + k, Z);
                tlVertex3f(static_cast<float>(x0 + s), h, z0);
                tlVertex3f(static_cast<float>(x0 + s), h, static_cast<float>(z0 + s));
                tlVertex3f(x0, h, static_cast<float>(z0 + s));
                break;
            case sunk:
                tlVertex3f(x0, h + k, z0);
                tlVertex3f(static_cast<float>(x0 + s), h, z0);
                tlVertex3f(static_cast<float>(x0 + s), h, static_cast<float>(z0 + s));
                tlVertex3f(x0, h, static_cast<float>(z0 + s));
                break;
            }
        }
    }
    tlEnd();
}
}

void draw1(int32_t t)
{
    grid(halfsize[0], t, fine, scaled);
}

void draw2(int32_t t)
{
    tlTranslatef(10, 0, 0);
    grid(halfsize[1], t, fine, flat);
}

void draw3(int32_t t)
{
    tlTranslatef(-20, 0, 0);
    grid(halfsize[2], t, fine, pulled);
}

void draw4(int32_t t)
{
    tlTranslatef(10, -50, -30);
    grid(halfsize[3], t, coarse, sunk);
}
