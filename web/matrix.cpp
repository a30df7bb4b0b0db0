// The fixed function's matrix arithmetic: each call builds its matrix and multiplies the
// current one by it on the right (C = C * M), in single precision as OpenGL stores matrices.
#include "matrix.h"

#include <cmath>

float proj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

namespace {
constexpr unsigned gl_projection = 0x1701;
constexpr unsigned gl_modelview = 0x1700;
constexpr double deg_to_rad = 3.14159265358979323846 / 180;

float* cur = view;

void identity(float* m)
{
    for (int i = 0; i < 16; i++)
        m[i] = i % 5 == 0 ? 1.0f : 0.0f;
}

// cur = cur * m, both column-major: element (row r, column c) is at [c * 4 + r].
void multiply(const float* m)
{
    float out[16];
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++) {
            float s = 0;
            for (int k = 0; k < 4; k++)
                s += cur[k * 4 + r] * m[c * 4 + k];
            out[c * 4 + r] = s;
        }
    for (int i = 0; i < 16; i++)
        cur[i] = out[i];
}
}

void m_mode(unsigned mode)
{
    if (mode == gl_projection)
        cur = proj;
    else if (mode == gl_modelview)
        cur = view;
}

void m_identity() { identity(cur); }

void m_frustum(double l, double r, double b, double t, double n, double f)
{
    float m[16] = {};
    m[0] = static_cast<float>(2 * n / (r - l));
    m[5] = static_cast<float>(2 * n / (t - b));
    m[8] = static_cast<float>((r + l) / (r - l));
    m[9] = static_cast<float>((t + b) / (t - b));
    m[10] = static_cast<float>(-(f + n) / (f - n));
    m[11] = -1;
    m[14] = static_cast<float>(-2 * f * n / (f - n));
    multiply(m);
}

void m_rotate(float deg, float x, float y, float z)
{
    // The axis is normalised; a zero axis leaves the matrix as it is.
    double len = std::sqrt(double{x} * x + double{y} * y + double{z} * z);
    if (len == 0)
        return;
    double ux = x / len, uy = y / len, uz = z / len;
    double a = deg * deg_to_rad;
    double c = std::cos(a), s = std::sin(a), k = 1 - c;
    float m[16] = {
        static_cast<float>(ux * ux * k + c), static_cast<float>(uy * ux * k + uz * s),
        static_cast<float>(ux * uz * k - uy * s), 0,
        static_cast<float>(ux * uy * k - uz * s), static_cast<float>(uy * uy * k + c),
        static_cast<float>(uy * uz * k + ux * s), 0,
        static_cast<float>(ux * uz * k + uy * s), static_cast<float>(uy * uz * k - ux * s),
        static_cast<float>(uz * uz * k + c), 0,
        0, 0, 0, 1};
    multiply(m);
}

void m_translate(float x, float y, float z)
{
    // Only the last column changes: C[., 3] += C[., 0..2] * (x, y, z).
    for (int r = 0; r < 4; r++)
        cur[12 + r] = cur[r] * x + cur[4 + r] * y + cur[8 + r] * z + cur[12 + r];
}

void m_reset()
{
    identity(proj);
    identity(view);
    cur = view;
}
