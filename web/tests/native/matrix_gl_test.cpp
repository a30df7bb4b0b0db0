// The WebGL backend's matrices against a real OpenGL's: the scene's frames at moments of every
// section, each matrix call given to Mesa and to matrix.cpp alike, then glGetFloatv's matrices
// compared with ours after each call.
#include <gtest/gtest.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cmath>

#include "../../../playback/clock.h"
#include "../../../playback/music.h"
#include "../../../scene/idle.h"
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

// Only the matrix calls reach GL: the drawing is not what is compared here.
const gl_slots tee = [] {
    gl_slots s = idle_slots;
    s.matrixmode = t_mode;
    s.loadidentity = t_identity;
    s.rotatef = t_rotate;
    s.translatef = t_translate;
    s.frustum = t_frustum;
    return s;
}();
}

// One context for the whole program: Mesa's compatibility profile on its surfaceless EGL
// platform, current without a surface (matrices need no framebuffer).
bool gl_ready()
{
    static bool ok = [] {
        EGLDisplay d = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        const EGLint want[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config;
        EGLint n = 0;
        if (d == EGL_NO_DISPLAY || !eglInitialize(d, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API) ||
            !eglChooseConfig(d, want, &config, 1, &n) || n < 1)
            return false;
        EGLContext c = eglCreateContext(d, config, EGL_NO_CONTEXT, nullptr);
        return c != EGL_NO_CONTEXT && eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, c);
    }();
    return ok;
}

gl_slots gslots;
sdl_slots sslots = no_wait;

TEST(WebMatrices, EqualOpenGLsThroughTheShow)
{
    ASSERT_TRUE(gl_ready());
    const char* why = "";
    ASSERT_TRUE(render_music(synth_port, 0, 116000, &why)) << why;
    for (int32_t t : {1000, 10000, 22000, 60000, 92000, 105000, 116000}) {
        shoot(t, tee);
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
