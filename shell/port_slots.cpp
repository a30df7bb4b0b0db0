// intro-port links SDL and OpenGL, so the scene's slots simply hold the linked functions.
#include "../scene/gfx.h"

#include <GL/gl.h>
#include <SDL.h>

gl_slots gslots = {
    .begin = &glBegin,
    .end = &glEnd,
    .vertex3f = &glVertex3f,
    .matrixmode = &glMatrixMode,
    .loadidentity = &glLoadIdentity,
    .clear = &glClear,
    .color3f = &glColor3f,
    .rotatef = &glRotatef,
    .translatef = &glTranslatef,
    .enable = &glEnable,
    .frustum = &glFrustum,
};

// The shell calls SDL directly: only the scene's delay goes through a slot.
sdl_slots sslots = {.delay = &SDL_Delay};
