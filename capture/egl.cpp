// The capture's OpenGL context: EGL on Mesa's surfaceless platform, no X server, no window.
#include "gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <vector>

#include "report.h"

namespace {
int gl_w, gl_h;                       // framebuffer size in pixels
std::vector<uint8_t> bottom_up;       // one frame as OpenGL reads it, bottom row first
EGLDisplay dpy = EGL_NO_DISPLAY;
EGLContext ctx = EGL_NO_CONTEXT;
GLuint fbo[2], rbo[4];  // the two framebuffers; their colour and depth renderbuffers
GLsync done[2];         // fence after the last frame given to each framebuffer

constexpr int aspect_w = 4, aspect_h = 3;  // the intro's 800x600 picture

bool egl_fail(const char* step) { return fail("EGL: %s failed (error 0x%04x)", step, eglGetError()); }
}

void picture_box(int w, int h, int* x, int* y, int* pw, int* ph)
{
    if (int64_t{w} * aspect_h >= int64_t{h} * aspect_w) {  // wider than 4:3: bars left and right
        *ph = h;
        *pw = static_cast<int>((int64_t{h} * aspect_w + aspect_h / 2) / aspect_h);
    } else {  // taller: bars above and below
        *pw = w;
        *ph = static_cast<int>((int64_t{w} * aspect_h + aspect_w / 2) / aspect_w);
    }
    *x = (w - *pw) / 2;
    *y = (h - *ph) / 2;
}

bool gl_open(int w, int h)
{
    dpy = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY)
        return fail("no usable EGL display: Mesa's surfaceless platform is missing "
                    "(Debian package libegl-mesa0)");
    if (!eglInitialize(dpy, nullptr, nullptr)) {
        dpy = EGL_NO_DISPLAY;
        return fail("no usable EGL display: eglInitialize on Mesa's surfaceless platform failed (error 0x%04x)",
                    eglGetError());
    }
    if (!eglBindAPI(EGL_OPENGL_API))
        return egl_fail("eglBindAPI(OpenGL)");
    const EGLint want[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint n = 0;
    if (!eglChooseConfig(dpy, want, &config, 1, &n) || n < 1)
        return fail("EGL: no OpenGL configuration on the surfaceless display");
    // No version asked for: the compatibility profile, which keeps OpenGL 1.x's fixed pipeline.
    ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, nullptr);
    if (ctx == EGL_NO_CONTEXT)
        return egl_fail("eglCreateContext");
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx))
        return egl_fail("eglMakeCurrent without a surface");

    GLint most = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &most);
    if (w > most || h > most)
        return fail("OpenGL: %dx%d is larger than the renderer's limit of %d", w, h, most);
    glGenFramebuffers(2, fbo);
    glGenRenderbuffers(4, rbo);
    for (int i = 0; i < 2; i++) {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo[i]);
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[2 * i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rbo[2 * i]);
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[2 * i + 1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rbo[2 * i + 1]);
        GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE)
            return fail("OpenGL: framebuffer of %dx%d incomplete (0x%04x)", w, h, status);
        // Frames before the scene first draws are black, as is the frame around the picture.
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    gl_w = w;
    gl_h = h;
    bottom_up.resize(size_t{4} * w * h);
    int x, y, pw, ph;  // the 4:3 picture within the frame, bottom-left origin; black around it
    picture_box(w, h, &x, &y, &pw, &ph);
    glViewport(x, y, pw, ph);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

void gl_draw_to(int64_t n) { glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo[n % 2]); }

void gl_done(int64_t n)
{
    // The fence flushes the frame to the renderer's threads and marks its end.
    done[n % 2] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void gl_read(int64_t n, uint8_t* rgba)
{
    // Waiting for this frame's own fence first lets the read leave the next frame rasterising.
    GLsync& f = done[n % 2];
    if (f) {
        glClientWaitSync(f, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
        glDeleteSync(f);
        f = nullptr;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo[n % 2]);
    glReadPixels(0, 0, gl_w, gl_h, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    // OpenGL's first row is the picture's last. Turned here, once, for the stills and the video.
    const size_t row = size_t{4} * gl_w;
    for (int y = 0; y < gl_h; y++)
        std::memcpy(rgba + y * row, &bottom_up[(gl_h - 1 - y) * row], row);
}

void gl_close()
{
    if (ctx != EGL_NO_CONTEXT) {
        for (GLsync& f : done)
            if (f) {
                glDeleteSync(f);
                f = nullptr;
            }
        glDeleteRenderbuffers(4, rbo);
        glDeleteFramebuffers(2, fbo);
        eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(dpy, ctx);
        ctx = EGL_NO_CONTEXT;
    }
    if (dpy != EGL_NO_DISPLAY) {
        eglTerminate(dpy);
        dpy = EGL_NO_DISPLAY;
    }
}
