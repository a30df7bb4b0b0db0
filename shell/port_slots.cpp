// intro-port links SDL and OpenGL, so the scene's slots simply hold the linked functions.
#include "../scene/gfx.h"

#include <GL/gl.h>
#include <SDL.h>

#define S(f) reinterpret_cast<slot>(f)

slot gslots[g_count] = {
    S(&glBegin), S(&glEnd), S(&glVertex3f), S(&glMatrixMode),
    S(&glLoadIdentity), S(&glClear), S(&glColor3f), S(&glRotatef),
    S(&glTranslatef), S(&glEnable), S(&glFrustum),
};

// The shell calls SDL directly: only the scene's delay goes through a slot.
slot sslots[s_count] = {S(&SDL_Delay)};
