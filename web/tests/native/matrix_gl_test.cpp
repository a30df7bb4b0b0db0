// The WebGL backend's matrices against a real OpenGL's: the scene's frames at moments of every
// section, each matrix call given to Mesa and to matrix.cpp alike, then glGetFloatv's matrices
// compared with ours after each call.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "../../../capture/clock.h"
#include "../../../capture/gl.h"
#include "../../../capture/music.h"
#include "../../matrix.h"

namespace {
int checked;  // matrix calls compared

void compare()
{
    float p[16], m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    float big = 0;
    for (int i = 0; i < 16; i++)
        big = std::fmax(big, std::fmax(std::fabs(p[i]), std::fabs(m[i])));
    for (int i = 0; i < 16; i++) {
        ASSERT_NEAR(proj[i], p[i], 1e-6 * std::fmax(1.0f, std::fabs(p[i]))) << "projection entry " << i;
        ASSERT_NEAR(view[i], m[i], 1e-6 * std::fmax(1.0f, std::fabs(m[i]))) << "modelview entry " << i;
    }
    checked++;
}

void t_mode(unsigned mode) { glMatrixMode(mode); m_mode(mode); compare(); }
void t_identity() { glLoadIdentity(); m_identity(); compare(); }
void t_rotate(float a, float x, float y, float z) { glRotatef(a, x, y, z); m_rotate(a, x, y, z); compare(); }
void t_translate(float x, float y, float z) { glTranslatef(x, y, z); m_translate(x, y, z); compare(); }
void t_frustum(double l, double r, double b, double t, double n, double f)
{
    glFrustum(l, r, b, t, n, f);
    m_frustum(l, r, b, t, n, f);
    compare();
}
void i_u(unsigned) {}
void i_v() {}
void i_3f(float, float, float) {}
void no_delay(uint32_t) {}

// Only the matrix calls reach GL: the drawing is not what is compared here.
const gl_slots tee = {.begin = i_u, .end = i_v, .vertex3f = i_3f, .matrixmode = t_mode, .loadidentity = t_identity,
                      .clear = i_u, .color3f = i_3f, .rotatef = t_rotate, .translatef = t_translate,
                      .enable = i_u, .frustum = t_frustum};
}

// One context for the whole program.
bool gl_ready()
{
    static bool ok = gl_open(64, 48);
    return ok;
}

gl_slots gslots;
sdl_slots sslots = {.delay = no_delay};

TEST(WebMatrices, EqualOpenGLsThroughTheShow)
{
    ASSERT_TRUE(gl_ready());
    const char* why = "";
    ASSERT_TRUE(render_music(synth_port, 0, 116000, &why)) << why;
    for (int32_t t : {1000, 10000, 22000, 60000, 92000, 105000, 116000}) {
        shoot(t, idle_slots, tee);
        ASSERT_FALSE(HasFatalFailure()) << "at " << t << " ms";
    }
    // Eight matrix calls a frame, and one offset per layer but the first: layers 1; 1; 1, 2;
    // 2, 3; 2, 3, 4; 4; 4.
    EXPECT_EQ(checked, 7 * 8 + 0 + 0 + 1 + 2 + 3 + 1 + 1);
}

TEST(WebMatrices, RotationAboutAnUnnormalisedAxisAndOrder)
{
    ASSERT_TRUE(gl_ready());
    for (unsigned mode : {GL_PROJECTION, GL_MODELVIEW}) {  // as a fresh context has them
        glMatrixMode(mode);
        glLoadIdentity();
    }
    m_reset();
    t_mode(GL_PROJECTION);
    t_frustum(-2, 1, -0.5, 1.5, 0.5, 20);  // off centre
    t_mode(GL_MODELVIEW);
    t_identity();
    t_translate(1, 2, 3);
    t_rotate(30, 1, 2, 2);     // axis normalised to (1, 2, 2) / 3
    t_rotate(-123.5f, 0, 0.1f, 0);
    t_translate(-4, 0.5f, 7);
    t_rotate(90, 0, 0, 0);     // a zero axis: OpenGL leaves the matrix unchanged
    ASSERT_FALSE(HasFatalFailure());
}
